#include "controls/KWStepGrid.h"

#include <QFocusEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <numeric>

#include "controls/PixelLines.h"
#include "controls/PlayheadTimer.h"
#include "controls/StagePalette.h"

namespace tg {

KWStepGrid::KWStepGrid(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  Resize();
}

KWStepGrid::~KWStepGrid() { PlayheadTimer::Forget(this); }

void KWStepGrid::FollowPlayhead(PlayheadFunction source) {
  playheadSource_ = std::move(source);
  if (playheadSource_) {
    PlayheadTimer::Instance().Add(this);
  } else {
    PlayheadTimer::Instance().Remove(this);
    SetPlayhead(-1);
  }
}

void KWStepGrid::RefreshPlayhead() {
  if (playheadSource_) SetPlayhead(playheadSource_());
}

void KWStepGrid::SetPlayhead(int column) {
  if (column < 0 || column >= columns_) column = -1;
  if (column == playhead_) return;
  if (playhead_ >= 0) update(ColumnRect(playhead_));
  playhead_ = column;
  if (playhead_ >= 0) update(ColumnRect(playhead_));
}

QRect KWStepGrid::ColumnRect(int column) const {
  const int rows = std::accumulate(rowHeights_.begin(), rowHeights_.end(), 0);
  return {labelWidth_ + column * columnWidth_, HeadingHeight(), columnWidth_, rows};
}

void KWStepGrid::SetColumns(int count, int width) {
  columns_ = std::max(1, count);
  columnWidth_ = std::max(3, width);
  if (playhead_ >= columns_) playhead_ = -1;
  focused_.setX(std::min(focused_.x(), columns_ - 1));
  Resize();
}

void KWStepGrid::SetRows(const std::vector<int>& heights, const QStringList& labels) {
  rowHeights_.clear();
  for (int h : heights) rowHeights_.push_back(std::max(3, h));
  labels_ = labels;
  focused_.setY(std::clamp(focused_.y(), 0, std::max(0, Rows() - 1)));
  Resize();
}

void KWStepGrid::SetLabelWidth(int width) {
  labelWidth_ = std::max(0, width);
  labelWidthSet_ = true;
  Resize();
}

void KWStepGrid::SetBeats(int columnsPerBeat, int beatsPerBar) {
  columnsPerBeat_ = std::max(1, columnsPerBeat);
  beatsPerBar_ = std::max(1, beatsPerBar);
  update();
}

void KWStepGrid::SetLook(LookFunction look) {
  look_ = std::move(look);
  update();
}

int KWStepGrid::HeadingHeight() const { return fontMetrics().height() + 1; }

int KWStepGrid::RowTop(int row) const {
  return HeadingHeight() + std::accumulate(rowHeights_.begin(), rowHeights_.begin() + row, 0);
}

bool KWStepGrid::IsCell(int column, int row) const {
  return column >= 0 && column < columns_ && row >= 0 && row < Rows();
}

QRect KWStepGrid::CellRect(int column, int row) const {
  if (!IsCell(column, row)) return {};
  return {labelWidth_ + column * columnWidth_, RowTop(row), columnWidth_,
          rowHeights_[static_cast<size_t>(row)]};
}

QPoint KWStepGrid::CellAt(QPoint point) const {
  const int x = point.x() - labelWidth_;
  int y = point.y() - HeadingHeight();
  if (x < 0 || y < 0 || x >= columns_ * columnWidth_) return {-1, -1};
  for (int row = 0; row < Rows(); ++row) {
    y -= rowHeights_[static_cast<size_t>(row)];
    if (y < 0) return {x / columnWidth_, row};
  }
  return {-1, -1};
}

QString KWStepGrid::HeadingText(int column) const {
  if (column < 0 || column >= columns_ || column % columnsPerBeat_ != 0) return {};
  return QString("| %1").arg(column / columnsPerBeat_ % beatsPerBar_ + 1);
}

bool KWStepGrid::HeadingIsBold(int column) const {
  return !HeadingText(column).isEmpty() && column / columnsPerBeat_ % beatsPerBar_ == 0;
}

void KWStepGrid::SetFocusedCell(int column, int row) {
  if (!IsCell(column, row) || QPoint(column, row) == focused_) return;
  UpdateCell(focused_.x(), focused_.y());
  focused_ = {column, row};
  UpdateCell(column, row);
}

void KWStepGrid::UpdateCell(int column, int row) {
  if (IsCell(column, row)) update(CellRect(column, row));
}

void KWStepGrid::UpdateCells() { update(); }

QSize KWStepGrid::sizeHint() const {
  const int rows = std::accumulate(rowHeights_.begin(), rowHeights_.end(), 0);
  return {labelWidth_ + columns_ * columnWidth_, HeadingHeight() + rows};
}

void KWStepGrid::Resize() {
  if (!labelWidthSet_) {
    int widest = 0;
    for (const QString& label : labels_)
      widest = std::max(widest, fontMetrics().horizontalAdvance(label));
    labelWidth_ = widest > 0 ? widest + 6 : 0;
  }
  setFixedSize(sizeHint());
  update();
}

QFont KWStepGrid::FittingFont(const QString& text, QSize box) const {
  // Rows and cells may be smaller than the text: shrink it rather than cut it,
  // down to a size that still reads.
  constexpr int kSmallestPixels = 7;
  QFont fitting = font();
  for (int pixels = QFontInfo(fitting).pixelSize();; --pixels) {
    const QFontMetrics metrics(fitting);
    const bool fits =
        metrics.horizontalAdvance(text) <= box.width() && metrics.height() <= box.height() + 2;
    if (fits || pixels <= kSmallestPixels) return fitting;
    fitting.setPixelSize(pixels - 1);
  }
}

void KWStepGrid::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect dirty = event->rect();
  const int heading = HeadingHeight();
  const QPalette& pal = palette();

  if (dirty.top() < heading) {
    QFont plain = font();
    QFont bold = plain;
    bold.setBold(true);
    painter.setPen(pal.color(QPalette::WindowText));
    for (int column = 0; column < columns_; column += columnsPerBeat_) {
      painter.setFont(HeadingIsBold(column) ? bold : plain);
      const int left = labelWidth_ + column * columnWidth_;
      // Up to the next heading, so a long text is cut rather than overlapping it.
      const QRect box(left, 0, columnsPerBeat_ * columnWidth_, heading);
      painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, HeadingText(column));
    }
    painter.setFont(plain);
  }
  if (dirty.left() < labelWidth_) {
    painter.setPen(pal.color(QPalette::WindowText));
    for (int row = 0; row < Rows() && row < labels_.size(); ++row) {
      const QRect box(2, RowTop(row), labelWidth_ - 4, rowHeights_[static_cast<size_t>(row)]);
      painter.setFont(FittingFont(labels_[row], box.size()));
      painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, labels_[row]);
    }
    painter.setFont(font());
  }

  const QColor gap = pal.color(QPalette::Mid);
  const StagePalette& colours = StagePalette::Current();
  std::vector<CellLook> looks(static_cast<size_t>(columns_));
  for (int row = 0; row < Rows(); ++row) {
    const QRect rowRect(labelWidth_, RowTop(row), columns_ * columnWidth_,
                        rowHeights_[static_cast<size_t>(row)]);
    if (!rowRect.intersects(dirty)) continue;
    // One text size for the whole row, the one its widest text fits.
    QString widest;
    for (int column = 0; column < columns_; ++column) {
      CellLook& look = looks[static_cast<size_t>(column)];
      look = look_ ? look_(column, row) : CellLook{};
      if (painter.fontMetrics().horizontalAdvance(look.text) >
          painter.fontMetrics().horizontalAdvance(widest))
        widest = look.text;
    }
    const QSize inside = CellRect(0, row).adjusted(1, 1, -1, -1).size();
    painter.setFont(widest.isEmpty() ? font() : FittingFont(widest, inside));
    for (int column = 0; column < columns_; ++column) {
      const QRect cell = CellRect(column, row);
      if (!cell.intersects(dirty)) continue;
      painter.fillRect(cell, gap);
      const QRect inner = cell.adjusted(1, 1, -1, -1);
      const CellLook& look = looks[static_cast<size_t>(column)];
      const bool heard = column == playhead_;
      const QColor& off = heard ? colours.playheadOff : colours.cellOff;
      if (!look.text.isEmpty()) {
        painter.fillRect(inner, off);
        painter.setPen(colours.cellText);
        painter.drawText(inner, Qt::AlignCenter, look.text);
      } else {
        painter.fillRect(inner, look.set ? (heard ? colours.playheadOn : colours.cellOn) : off);
      }
    }
    painter.setFont(font());
  }
  if (hasFocus() && IsCell(focused_.x(), focused_.y())) {
    const QRect cell = CellRect(focused_.x(), focused_.y());
    if (cell.intersects(dirty)) {
      // In the one-pixel border around the cell, so the cell itself stays readable.
      painter.setPen(QPen(pal.color(QPalette::Highlight), 1));
      painter.setBrush(Qt::NoBrush);
      PixelFrame(painter, cell);
    }
  }
}

void KWStepGrid::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const QPoint cell = CellAt(at);
  if (event->button() != Qt::LeftButton || cell.x() < 0) {
    QWidget::mousePressEvent(event);
    return;
  }
  SetFocusedCell(cell.x(), cell.y());
  emit CellPressed(cell.x(), cell.y(), at);
}

void KWStepGrid::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const QPoint cell = CellAt(at);
  if (event->button() != Qt::LeftButton || cell.x() < 0) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  emit CellReleased(cell.x(), cell.y(), at);
}

void KWStepGrid::keyPressEvent(QKeyEvent* event) {
  QPoint to = focused_;
  switch (event->key()) {
    case Qt::Key_Left:
      to.rx() -= 1;
      break;
    case Qt::Key_Right:
      to.rx() += 1;
      break;
    case Qt::Key_Up:
      to.ry() -= 1;
      break;
    case Qt::Key_Down:
      to.ry() += 1;
      break;
    case Qt::Key_Space:
      if (IsCell(focused_.x(), focused_.y())) emit CellKeyToggled(focused_.x(), focused_.y());
      return;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  // Held at the edges: no wrapping into another row.
  SetFocusedCell(std::clamp(to.x(), 0, columns_ - 1),
                 std::clamp(to.y(), 0, std::max(0, Rows() - 1)));
}

void KWStepGrid::changeEvent(QEvent* event) {
  // Headings and labels are measured in the font.
  if (event->type() == QEvent::FontChange) Resize();
  QWidget::changeEvent(event);
}

void KWStepGrid::focusInEvent(QFocusEvent* event) {
  UpdateCell(focused_.x(), focused_.y());
  QWidget::focusInEvent(event);
}

void KWStepGrid::focusOutEvent(QFocusEvent* event) {
  UpdateCell(focused_.x(), focused_.y());
  QWidget::focusOutEvent(event);
}

}  // namespace tg
