#include "forms/TContraptionForm.h"

#include <QApplication>
#include <QChildEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cassert>

#include "forms/TPresetMenuForm.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {

QToolButton* FlatButton(const QString& text, const QString& tip, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setText(text);
  button->setToolTip(tip);
  button->setAutoRaise(true);
  button->setFixedHeight(TContraptionForm::kHeaderHeight - 2);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

// Truncating division, as the placing rule asks for negative positions too.
int SnapDown(int v) { return v / TContraptionForm::kGrid * TContraptionForm::kGrid; }

}  // namespace

TContraptionForm::TContraptionForm(TGardeningContraption& contraption, QWidget* parent)
    : QWidget(parent), contraption_(contraption) {
  // Small type keeps many windows side by side in the pane.
  QFont small = font();
  if (small.pointSizeF() > 8.0) small.setPointSizeF(8.0);
  setFont(small);
  header_ = new QWidget(this);
  label_ = new QLabel(header_);
  presetButton_ = FlatButton("--", "Presets", header_);
  body_ = new QWidget(this);
  setAttribute(Qt::WA_DeleteOnClose);
  setAutoFillBackground(true);
  header_->setFixedHeight(kHeaderHeight);
  header_->setCursor(Qt::SizeAllCursor);
  QFont bold = label_->font();
  bold.setBold(true);
  bold.setItalic(true);
  label_->setFont(bold);
  label_->setText(QString::fromStdString(contraption.Name()));
  auto* help = FlatButton("?", "Help", header_);
  auto* close = FlatButton(QString::fromUtf8("\u00d7"), "Close", header_);
  auto* headerLayout = new QHBoxLayout(header_);
  headerLayout->setContentsMargins(2, 0, 2, 0);
  headerLayout->setSpacing(1);
  headerLayout->addWidget(label_, 1);
  headerLayout->addWidget(presetButton_);
  headerLayout->addWidget(help);
  headerLayout->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  layout->addWidget(header_);
  layout->addWidget(body_, 1);
  connect(help, &QToolButton::clicked, this, [this] { contraption_.Help(); });
  connect(close, &QToolButton::clicked, this, &QWidget::close);
  connect(presetButton_, &QToolButton::clicked, this, [this] {
    const TPresetMenuForm::Choice choice = TPresetMenuForm::Run(presetButton_, contraption_);
    if (choice.action == TPresetMenuForm::kRecall) {
      UpdateControls();
    } else {
      presetButton_->setText(PresetCaption());
    }
  });
  header_->installEventFilter(this);
  label_->installEventFilter(this);
  contraption_.WindowState().windowOpen = true;
}

TContraptionForm::~TContraptionForm() {
  const QPoint at = ContentPosition();
  TContraptionFormState& state = contraption_.WindowState();
  state.windowLeft = at.x();
  state.windowTop = at.y();
  state.windowPlaced = true;
  state.windowOpen = false;
  contraption_.MarkChanged();
}

QPoint TContraptionForm::ContentPosition() const { return pos(); }

QString TContraptionForm::PresetCaption() const {
  const int current = contraption_.CurrentPreset();
  return current < 0 ? QString("--") : QString::number(current + 1);
}

void TContraptionForm::UpdateControls() { presetButton_->setText(PresetCaption()); }

int TContraptionForm::PresetSlotFor(PresetCommand command) const {
  const int current = contraption_.CurrentPreset();
  if (command != PresetCommand::Paste)
    return current >= 0 && contraption_.HasPreset(current) ? current : -1;
  if (!contraption_.CanPastePreset()) return -1;
  if (current >= 0) return current;
  for (int slot = 0; slot < TGardeningContraption::kPresetCount; ++slot) {
    if (!contraption_.HasPreset(slot)) return slot;
  }
  return -1;
}

bool TContraptionForm::CanRunPresetCommand(PresetCommand command) const {
  return PresetSlotFor(command) >= 0;
}

void TContraptionForm::RunPresetCommand(PresetCommand command) {
  const int slot = PresetSlotFor(command);
  if (slot < 0) return;
  switch (command) {
    case PresetCommand::Cut:
      contraption_.CutPreset(slot);
      break;
    case PresetCommand::Copy:
      contraption_.CopyPreset(slot);
      break;
    case PresetCommand::Paste:
      contraption_.PastePreset(slot);
      break;
  }
  presetButton_->setText(PresetCaption());
}

void TContraptionForm::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Cut)) {
    RunPresetCommand(PresetCommand::Cut);
  } else if (event->matches(QKeySequence::Copy)) {
    RunPresetCommand(PresetCommand::Copy);
  } else if (event->matches(QKeySequence::Paste)) {
    RunPresetCommand(PresetCommand::Paste);
  } else {
    QWidget::keyPressEvent(event);
  }
}

void TContraptionForm::Place(QRect requested) {
  const int left = SnapDown(std::max(requested.left(), 0));
  const int top = SnapDown(std::max(requested.top(), 0));
  const int width = (requested.width() + kGrid - 1) / kGrid * kGrid;
  const int height = (requested.height() + kGrid - 1) / kGrid * kGrid;
  setGeometry(left, top, width, height);
  contraption_.MarkChanged();
}

void TContraptionForm::ParameterEdited() {
  contraption_.MarkChanged();
  presetButton_->setText(PresetCaption());
}

void TContraptionForm::PlaceDesigned(QSize designed) {
  Place(QRect(pos(), designed.expandedTo(layout()->minimumSize())));
}

void TContraptionForm::MoveToStoredPlace() {
  const TContraptionFormState& state = contraption_.WindowState();
  move(state.windowLeft, state.windowTop);
  label_->setText(QString::fromStdString(contraption_.Name()));
}

void TContraptionForm::showEvent(QShowEvent* event) {
  MoveToStoredPlace();
  // Fonts and styles are settled only now: never cut a control off.
  const QSize needed = layout()->minimumSize();
  if (needed.width() > width() || needed.height() > height()) {
    Place(QRect(pos(), size().expandedTo(needed)));
  }
  QWidget::showEvent(event);
}

const QSPropertyInfo& TContraptionForm::ParameterInfo(std::string_view name) const {
  const QSPropertyTable& table = *contraption_.Processor().GetPropertyTable();
  const int position = table.IndexOf(name);
  assert(position >= 0 && "an editor names a parameter its processor lacks");
  return table.InfoAt(position < 0 ? 0 : position);
}

void TContraptionForm::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (isHidden()) return;
  TContraptionFormState& state = contraption_.WindowState();
  state.windowLeft = x();
  state.windowTop = y();
}

void TContraptionForm::BeginHeaderDrag(QPoint at) {
  raise();
  dragReference_ = at;
  remainder_ = {};
}

void TContraptionForm::ContinueHeaderDrag(QPoint at) {
  remainder_ += at - dragReference_;
  QPoint applied;
  if (std::abs(remainder_.x()) > 9 || std::abs(remainder_.y()) > 9) {
    applied = QPoint(remainder_.x() / kGrid * kGrid, remainder_.y() / kGrid * kGrid);
    Place(QRect(pos() + applied, size()));
    remainder_ -= applied;
  }
  dragReference_ = at - applied;  // the header moved with the window
}

bool TContraptionForm::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (event->type() == QEvent::ChildAdded) {
    Watch(static_cast<QChildEvent*>(event)->child());  // controls added to the body later
  } else if (event->type() == QEvent::MouseButtonPress && widget != nullptr) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton) {
      const bool onHeader = widget == header_ || widget == label_;
      if (onHeader) {
        BeginHeaderDrag(widget->mapTo(header_, mouse->position().toPoint()));
      } else if (widget != presetButton_) {
        // Any press on a control is an edit: the preset no longer describes the sound.
        contraption_.MarkChanged();
        presetButton_->setText(PresetCaption());
        raise();
      }
    }
  } else if (event->type() == QEvent::MouseMove && widget != nullptr &&
             (widget == header_ || widget == label_)) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->buttons() & Qt::LeftButton)
      ContinueHeaderDrag(widget->mapTo(header_, mouse->position().toPoint()));
  }
  return QWidget::eventFilter(watched, event);
}

void TContraptionForm::Watch(QObject* object) {
  if (!object->isWidgetType() || object == header_ || object == label_) return;
  object->installEventFilter(this);
  for (QObject* child : object->children()) Watch(child);
}

void TContraptionForm::childEvent(QChildEvent* event) {
  QWidget::childEvent(event);
  if (event->added()) Watch(event->child());
}

void TContraptionForm::mousePressEvent(QMouseEvent* event) {
  raise();
  QWidget::mousePressEvent(event);
}

QString TContraptionForm::UnitText(const QSPropertyUnits& units) {
  if (units.IsFrequency()) return "Hz";
  if (&units == &QSTimeMillisecondsUnits::Get()) return "ms";
  if (&units == &QSTimeSecondsUnits::Get()) return "s";
  return {};  // gains and fractions read as plain numbers
}

std::vector<QWidget*> TContraptionForm::TabControls() const {
  struct Placed {
    QWidget* widget;
    QRect at;
  };
  std::vector<Placed> found;
  // A control that takes focus is one stop, whatever it is made of; a
  // container is looked into.
  auto collect = [&](auto& self, const QWidget* parent) -> void {
    for (QObject* child : parent->children()) {
      auto* w = qobject_cast<QWidget*>(child);
      if (w == nullptr || w == header_ || w->isWindow() || !w->isVisibleTo(this)) continue;
      if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled()) {
        found.push_back({w, QRect(w->mapTo(this, QPoint(0, 0)), w->size())});
      } else {
        self(self, w);
      }
    }
  };
  collect(collect, this);
  std::stable_sort(found.begin(), found.end(),
                   [](const Placed& a, const Placed& b) { return a.at.top() < b.at.top(); });
  // A control belongs to the row of the topmost one above it when it starts
  // above that one's middle; each row reads from the left.
  std::vector<QWidget*> order;
  for (size_t first = 0; first < found.size();) {
    size_t end = first + 1;
    while (end < found.size() && found[end].at.top() < found[first].at.center().y()) ++end;
    std::stable_sort(found.begin() + static_cast<long>(first),
                     found.begin() + static_cast<long>(end),
                     [](const Placed& a, const Placed& b) { return a.at.left() < b.at.left(); });
    for (size_t i = first; i < end; ++i) order.push_back(found[i].widget);
    first = end;
  }
  return order;
}

bool TContraptionForm::focusNextPrevChild(bool next) {
  QWidget* focus = QApplication::focusWidget();
  const std::vector<QWidget*> controls = TabControls();
  if (focus == nullptr || !isAncestorOf(focus) || controls.empty())
    return QWidget::focusNextPrevChild(next);
  const auto n = static_cast<long>(controls.size());
  long at = -1;
  for (long i = 0; i < n; ++i) {
    QWidget* c = controls[static_cast<size_t>(i)];
    if (c == focus || c->isAncestorOf(focus)) at = i;
  }
  // Like a dialog, the window keeps the focus among its own controls.
  const long to = at < 0 ? (next ? 0 : n - 1) : (at + (next ? 1 : n - 1)) % n;
  controls[static_cast<size_t>(to)]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

QLabel* TContraptionForm::PlaceLabel(const QString& text, QWidget* parent, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->move(x, y);
  label->resize(label->sizeHint());
  return label;
}

}  // namespace tg
