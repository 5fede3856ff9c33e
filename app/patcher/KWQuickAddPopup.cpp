#include "app/patcher/KWQuickAddPopup.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/patch/TypeSearch.h"

namespace tg {

namespace {
constexpr int kQuickAddWidth = 240;
constexpr int kQuickAddRows = 12;
}  // namespace

KWQuickAddPopup::KWQuickAddPopup(const TContraptionFactory& factory, QWidget* parent)
    : QFrame(parent, Qt::Popup), factory_(factory) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  field_ = new QLineEdit(this);
  field_->setPlaceholderText("Type a name or a category");
  field_->setClearButtonEnabled(true);
  list_ = new QListWidget(this);
  list_->setFocusPolicy(Qt::NoFocus);
  list_->setUniformItemSizes(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(3, 3, 3, 3);
  layout->setSpacing(2);
  layout->addWidget(field_);
  layout->addWidget(list_);
  setFixedWidth(kQuickAddWidth);
  field_->installEventFilter(this);
  connect(field_, &QLineEdit::textChanged, this, &KWQuickAddPopup::Filter);
  connect(list_, &QListWidget::itemClicked, this, [this] { Choose(); });
}

void KWQuickAddPopup::Open(QPoint global) {
  field_->clear();
  Filter({});
  // Whole rows, as the style draws them.
  const int row = std::max(list_->sizeHintForRow(0), list_->fontMetrics().height());
  list_->setFixedHeight(row * kQuickAddRows + 2 * list_->frameWidth());
  adjustSize();
  QPoint at = global;
  if (const QScreen* screen = QGuiApplication::screenAt(global)) {
    const QRect area = screen->availableGeometry();
    at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - width())));
    at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - height())));
  }
  move(at);
  show();
  field_->setFocus(Qt::PopupFocusReason);
}

QString KWQuickAddPopup::CurrentType() const {
  const QListWidgetItem* item = list_->currentItem();
  return item == nullptr ? QString() : item->data(Qt::UserRole).toString();
}

void KWQuickAddPopup::Filter(const QString& typed) {
  list_->clear();
  for (const TypeChoice& choice : TypesMatching(factory_, typed.toStdString())) {
    const QString type = QString::fromStdString(choice.typeName);
    const QString category = QString::fromStdString(choice.category);
    auto* item = new QListWidgetItem(category.isEmpty() ? type : type + "  \u2013  " + category);
    item->setData(Qt::UserRole, type);
    list_->addItem(item);
  }
  if (list_->count() > 0) list_->setCurrentRow(0);
}

void KWQuickAddPopup::Choose() {
  const QString type = CurrentType();
  if (type.isEmpty()) return;
  hide();
  emit Chosen(type);
}

bool KWQuickAddPopup::eventFilter(QObject* watched, QEvent* event) {
  if (watched != field_ || event->type() != QEvent::KeyPress)
    return QFrame::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  const int rows = list_->count();
  const int current = list_->currentRow();
  auto go = [&](int row) {
    if (rows > 0) list_->setCurrentRow(std::clamp(row, 0, rows - 1));
    return true;
  };
  switch (key->key()) {
    case Qt::Key_Down:
      return go(current + 1);
    case Qt::Key_Up:
      return go(current - 1);
    case Qt::Key_PageDown:
      return go(current + kQuickAddRows - 1);
    case Qt::Key_PageUp:
      return go(current - (kQuickAddRows - 1));
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Choose();
      return true;
    case Qt::Key_Escape:
      hide();
      return true;
    default:
      return QFrame::eventFilter(watched, event);
  }
}

}  // namespace tg
