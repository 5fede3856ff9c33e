#include "forms/TPatternedScrollBox.h"

#include <QChildEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <algorithm>

namespace tg {

namespace {

constexpr const char* kBarStyle =
    "QScrollBar { background: #2c3830; border: none; }"
    "QScrollBar:vertical { width: 14px; }"
    "QScrollBar:horizontal { height: 14px; }"
    "QScrollBar::handle { background: #dfe7da; border: 1px solid #18201a; border-radius: 4px;"
    " margin: 1px; }"
    "QScrollBar::handle:hover { background: #ffffff; }"
    "QScrollBar::handle:vertical { min-height: 24px; }"
    "QScrollBar::handle:horizontal { min-width: 24px; }"
    "QScrollBar::add-line, QScrollBar::sub-line { width: 0px; height: 0px; border: none; }"
    "QScrollBar::add-page, QScrollBar::sub-page { background: none; }";

}  // namespace

// Painting in content coordinates keeps the pattern's phase while scrolling.
class TPatternedScrollBox::Content final : public QWidget {
 public:
  explicit Content(TPatternedScrollBox& box) : box_(box) {}

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    const QPixmap& tile = box_.Tile();
    if (tile.isNull()) return;
    const QRect area = event->rect();
    const int w = tile.width(), h = tile.height();
    const int shift = w * box_.TileShiftPercent() / 100;
    for (int row = area.top() / h; row * h <= area.bottom(); ++row) {
      const int offset = (row * shift) % w;
      for (int x = offset + ((area.left() - offset) / w - 1) * w; x <= area.right(); x += w) {
        painter.drawPixmap(x, row * h, tile);
      }
    }
  }

 private:
  TPatternedScrollBox& box_;
};

TPatternedScrollBox::TPatternedScrollBox(QWidget* parent) : QScrollArea(parent) {
  setWidgetResizable(false);
  auto* content = new Content(*this);
  content->setAttribute(Qt::WA_OpaquePaintEvent);
  content->installEventFilter(this);
  setWidget(content);
  horizontalScrollBar()->setSingleStep(10);
  verticalScrollBar()->setSingleStep(10);
  // With a thumb nearly as long as its groove, the style's light thumb on a
  // light groove reads the wrong way round: the groove's small remainder
  // looks like the thumb, and the pane seems to scroll backwards. A light
  // thumb on a dark groove leaves no doubt.
  for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()})
    bar->setStyleSheet(kBarStyle);
  SetTile(GardenTile());
}

void TPatternedScrollBox::SetTile(const QPixmap& tile) {
  tile_ = tile;
  widget()->update();
}

void TPatternedScrollBox::SetTileShiftPercent(int percent) {
  shiftPercent_ = std::clamp(percent, 0, 100);
  widget()->update();
}

QPixmap TPatternedScrollBox::GardenTile() {
  QPixmap tile(48, 32);
  tile.fill(QColor(0x4a, 0x5d, 0x4e));
  QPainter p(&tile);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x56, 0x6b, 0x59), 1.0));
  p.setBrush(QColor(0x52, 0x66, 0x55));
  // A brick of soil with a leaf on it: quiet enough to sit behind knobs.
  p.drawRect(QRectF(0.5, 0.5, 47, 31));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x5f, 0x76, 0x5f));
  QPainterPath leaf;
  leaf.moveTo(16, 20);
  leaf.cubicTo(20, 8, 30, 8, 34, 12);
  leaf.cubicTo(30, 20, 22, 22, 16, 20);
  p.drawPath(leaf);
  return tile;
}

void TPatternedScrollBox::FitContent() {
  if (fitting_) return;
  fitting_ = true;
  QRect extent(QPoint(0, 0), viewport()->size());
  for (QObject* child : widget()->children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (w != nullptr && !w->isHidden()) extent |= w->geometry().adjusted(0, 0, 10, 10);
  }
  if (widget()->size() != extent.size()) widget()->resize(extent.size());
  fitting_ = false;
}

bool TPatternedScrollBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == widget()) {
    switch (event->type()) {
      case QEvent::ChildAdded:
        if (auto* w = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) {
          w->installEventFilter(this);
        }
        break;
      case QEvent::ChildRemoved:
        FitContent();
        break;
      default:
        break;
    }
  } else if (event->type() == QEvent::Move || event->type() == QEvent::Resize ||
             event->type() == QEvent::Show || event->type() == QEvent::Hide) {
    FitContent();
  }
  return QScrollArea::eventFilter(watched, event);
}

void TPatternedScrollBox::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  FitContent();
}

}  // namespace tg
