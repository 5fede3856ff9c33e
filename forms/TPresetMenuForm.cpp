#include "forms/TPresetMenuForm.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>

#include "framework/TGardeningContraption.h"

namespace tg {

TPresetMenuForm::TPresetMenuForm(QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint) {
  setMouseTracking(true);
  setAttribute(Qt::WA_ShowWithoutActivating);
  const QFontMetrics metrics = fontMetrics();
  cellWidth_ = metrics.horizontalAdvance("99  ");
  cellHeight_ = static_cast<int>(1.5 * metrics.height());
  setFixedSize(5 * cellWidth_ + 6, 4 * cellHeight_ + 6);
}

void TPresetMenuForm::Prepare(const SlotFlags& filled, bool canPaste, QPoint belowButton) {
  slots_ = filled;
  canPaste_ = canPaste;
  result_ = {};
  hovered_ = -1;
  QPoint at = belowButton - QPoint(1, 0);
  QScreen* screen = QGuiApplication::screenAt(belowButton);
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect area = screen->geometry();
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - width())));
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - height())));
  }
  move(at);
}

int TPresetMenuForm::CellAt(QPoint p) const {
  if (p.x() <= 3 || p.x() >= width() - 3 || p.y() <= 3 || p.y() >= height() - 3) return -1;
  const int cell = (p.y() - 3) / cellHeight_ * 5 + (p.x() - 3) / cellWidth_ + 1;
  return cell >= 1 && cell <= 20 ? cell : -1;
}

std::array<bool, 6> TPresetMenuForm::MenuEnabled(int cell) const {
  const bool set = HasPreset(cell);
  return {set, true, set, set, set, canPaste_};
}

void TPresetMenuForm::Choose(Action action, int cell) {
  result_ = {action, cell - 1};
  hide();
}

void TPresetMenuForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& pal = palette();
  painter.fillRect(rect(), pal.color(QPalette::Button));
  painter.setPen(pal.color(QPalette::Light));
  painter.drawLine(0, 0, width() - 1, 0);
  painter.drawLine(0, 0, 0, height() - 1);
  painter.setPen(pal.color(QPalette::Shadow));
  painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
  painter.drawLine(0, height() - 1, width() - 1, height() - 1);
  for (int cell = 1; cell <= 20; ++cell) {
    const QRect r(3 + (cell - 1) % 5 * cellWidth_, 3 + (cell - 1) / 5 * cellHeight_, cellWidth_,
                  cellHeight_);
    const QString number = QString::number(cell);
    if (cell == hovered_) {
      painter.fillRect(r, pal.color(QPalette::Highlight));
      painter.setPen(pal.color(HasPreset(cell) ? QPalette::HighlightedText : QPalette::Shadow));
      painter.drawText(r, Qt::AlignCenter, number);
    } else if (HasPreset(cell)) {
      painter.setPen(pal.color(QPalette::ButtonText));
      painter.drawText(r, Qt::AlignCenter, number);
    } else {  // embossed: an empty slot
      painter.setPen(Qt::white);
      painter.drawText(r.translated(1, 1), Qt::AlignCenter, number);
      painter.setPen(pal.color(QPalette::Shadow));
      painter.drawText(r, Qt::AlignCenter, number);
    }
  }
}

void TPresetMenuForm::mouseMoveEvent(QMouseEvent* event) {
  const int cell = CellAt(event->position().toPoint());
  if (cell == hovered_) return;
  hovered_ = cell;
  update();
}

void TPresetMenuForm::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (!rect().contains(p)) {
    hide();  // a press outside closes with no result
    return;
  }
  hovered_ = CellAt(p);
  if (event->button() == Qt::LeftButton) {
    if (HasPreset(hovered_)) {
      Choose(kRecall, hovered_);
    } else {
      hide();
    }
    return;
  }
  if (event->button() != Qt::RightButton || hovered_ < 0) return;
  const int cell = hovered_;
  const std::array<bool, 6> enabled = MenuEnabled(cell);
  QMenu menu(this);
  const char* const names[6] = {"Recall", "Store", "Clear", "Cut", "Copy", "Paste"};
  for (int i = 0; i < 6; ++i) {
    if (i == 1 || i == 3) menu.addSeparator();
    QAction* action = menu.addAction(names[i], this,
                                     [this, i, cell] { Choose(static_cast<Action>(i + 1), cell); });
    action->setEnabled(enabled[static_cast<size_t>(i)]);
    if (i == 0) menu.setDefaultAction(action);
  }
  menu.exec(event->globalPosition().toPoint());
}

void TPresetMenuForm::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  emit Closed();
}

void TPresetMenuForm::Apply(const Choice& choice, TGardeningContraption& contraption) {
  switch (choice.action) {
    case kRecall:
      contraption.RecallPreset(choice.slot);
      break;
    case kStore:
      contraption.StorePreset(choice.slot);
      break;
    case kClear:
      contraption.ClearPreset(choice.slot);
      break;
    case kCut:
      contraption.CutPreset(choice.slot);
      break;
    case kCopy:
      contraption.CopyPreset(choice.slot);
      break;
    case kPaste:
      contraption.PastePreset(choice.slot);
      break;
    case kNone:
      break;
  }
}

TPresetMenuForm::Choice TPresetMenuForm::Run(QWidget* button, TGardeningContraption& contraption) {
  TPresetMenuForm menu(button);
  SlotFlags filled{};
  for (int i = 0; i < 20; ++i) filled[static_cast<size_t>(i)] = contraption.HasPreset(i);
  menu.Prepare(filled, contraption.CanPastePreset(),
               button->mapToGlobal(QPoint(0, button->height())));
  QEventLoop loop;
  connect(&menu, &TPresetMenuForm::Closed, &loop, &QEventLoop::quit);
  menu.show();
  loop.exec();
  Apply(menu.Result(), contraption);
  return menu.Result();
}

}  // namespace tg
