#include "contraptions/mixers/matrices/TFGateMatrixForm.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "contraptions/mixers/matrices/TGGateMatrix.h"
#include "controls/KWNumberEdit.h"
#include "controls/StagePalette.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {
constexpr int kGridX = 40;
constexpr int kGridY = 22;
}  // namespace

TGateGrid::TGateGrid(int size, QWidget* parent) : QWidget(parent), size_(size) {
  setFocusPolicy(Qt::StrongFocus);
  setFixedSize(sizeHint());
}

QRect TGateGrid::CellRect(int row, int column) const {
  return {column * kCell + 1, row * kCell + 1, kCell - 1, kCell - 1};
}

void TGateGrid::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect dirty = event->rect();
  painter.setPen(palette().color(QPalette::Mid));
  for (int k = 0; k <= size_; ++k) {
    painter.drawLine(k * kCell, 0, k * kCell, size_ * kCell);
    painter.drawLine(0, k * kCell, size_ * kCell, k * kCell);
  }
  for (int row = 0; row < size_; ++row) {
    for (int column = 0; column < size_; ++column) {
      const QRect cell = CellRect(row, column);
      if (!cell.intersects(dirty)) continue;
      const bool on = isOn_ && isOn_(row, column);
      painter.fillRect(cell, palette().color(QPalette::Base));
      const StagePalette& colours = StagePalette::Current();
      painter.fillRect(cell.adjusted(1, 1, -1, -1), on ? colours.cellOn : colours.cellOff);
      if (hasFocus() && selected_ == QPoint(column, row)) {
        painter.setPen(QPen(on ? colours.cellOff : colours.cellOn, 1, Qt::DotLine));
        painter.drawRect(cell.adjusted(1, 1, -2, -2));
        painter.setPen(palette().color(QPalette::Mid));
      }
    }
  }
}

void TGateGrid::Select(int row, int column) {
  const QPoint was = selected_;
  selected_ = {std::clamp(column, 0, size_ - 1), std::clamp(row, 0, size_ - 1)};
  UpdateCell(was.y(), was.x());
  UpdateCell(selected_.y(), selected_.x());
}

void TGateGrid::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  const int column = p.x() / kCell;
  const int row = p.y() / kCell;
  if (p.x() < 0 || p.y() < 0 || column >= size_ || row >= size_) return;
  Select(row, column);
  emit CellToggled(row, column);
}

void TGateGrid::keyPressEvent(QKeyEvent* event) {
  const int row = selected_.y();
  const int column = selected_.x();
  switch (event->key()) {
    case Qt::Key_Space:
      emit CellToggled(row, column);
      return;
    case Qt::Key_Left:
      return Select(row, column - 1);
    case Qt::Key_Right:
      return Select(row, column + 1);
    case Qt::Key_Up:
      return Select(row - 1, column);
    case Qt::Key_Down:
      return Select(row + 1, column);
    default:
      QWidget::keyPressEvent(event);
  }
}

TFGateMatrixForm::TFGateMatrixForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGGateMatrix&>(contraption.Processor())),
      grid_(new TGateGrid(processor_.Size(), Body())),
      fadeTime_(new KWNumberEdit(Body())) {
  const int n = processor_.Size();
  setWindowTitle(QString("%1x%1Matrix").arg(n));
  QWidget* body = Body();
  const int cell = TGateGrid::kCell;

  PlaceLabel("In:", body, 8, 4);
  grid_->move(kGridX, kGridY);
  grid_->SetLook([this](int row, int column) { return processor_.gate(row, column).Value(); });
  for (int k = 0; k < n; ++k) {
    QLabel* row = PlaceLabel(QString::number(k + 1), body, 0, 0);
    row->move(kGridX - 6 - row->width(), kGridY + k * cell + (cell - row->height()) / 2 + 1);
    QLabel* column = PlaceLabel(QString::number(k + 1), body, 0, 0);
    column->move(kGridX + k * cell + (cell - column->width()) / 2 + 1, kGridY + n * cell + 3);
  }
  QLabel* out = PlaceLabel("out:", body, 0, kGridY + n * cell + 3);
  out->move(kGridX - 6 - out->width(), out->y());
  connect(grid_, &TGateGrid::CellToggled, this, &TFGateMatrixForm::Toggle);

  const int editY = kGridY + n * cell + 24;
  QLabel* caption = PlaceLabel("Fade time (ms):", body, 8, editY + 3);
  fadeTime_->setGeometry(caption->x() + caption->width() + 6, editY, 80, KWNumberEdit::kHeight);
  fadeTime_->SetMin(1.0);
  fadeTime_->SetMax(TGGateMatrix::kMaxFadeTime);
  fadeTime_->SetIncrement(1.0);
  fadeTime_->SetValue(50.0);
  connect(fadeTime_, &KWNumberEdit::OnChange, this,
          [this](double ms) { Edit(processor_.fadeTime, ms); });

  const int width = std::max(kGridX + n * cell + 12, fadeTime_->x() + fadeTime_->width() + 8);
  PlaceDesigned(QSize(width, editY + KWNumberEdit::kHeight + 6 + kHeaderHeight));
}

void TFGateMatrixForm::Toggle(int input, int output) {
  QSBoolProperty& gate = processor_.gate(input, output);
  Edit(gate, !gate.Value());
  grid_->UpdateCell(input, output);
}

void TFGateMatrixForm::UpdateControls() {
  fadeTime_->SetValue(processor_.fadeTime.Value());
  grid_->update();
  TContraptionForm::UpdateControls();
}

void RegisterMatrix8x8Windows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TF8x8MatrixForm>(type);
}

void RegisterMatrix4x4Windows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TF4x4MatrixForm>(type);
}

}  // namespace tg
