#pragma once

#include <QWidget>
#include <functional>

#include "forms/TContraptionForm.h"

namespace tg {

class KWNumberEdit;
class TGGateMatrix;

// The gate matrix's grid: rows are inputs, columns outputs, square cells
// between grid lines, each drawn black when its gate is on and white when
// off. A click or the space key on the selected cell asks for a toggle; the
// arrow keys move the selection. The grid holds no gates: it asks for each
// cell's state.
class TGateGrid final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kCell = 16;

  TGateGrid(int size, QWidget* parent);

  void SetLook(std::function<bool(int row, int column)> isOn) { isOn_ = std::move(isOn); }
  int Size() const { return size_; }
  // A cell's square between the grid lines, in grid coordinates.
  QRect CellRect(int row, int column) const;
  QPoint SelectedCell() const { return selected_; }  // (column, row)
  void UpdateCell(int row, int column) { update(CellRect(row, column)); }

  QSize sizeHint() const override { return {size_ * kCell + 1, size_ * kCell + 1}; }

 signals:
  void CellToggled(int row, int column);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Select(int row, int column);

  int size_;
  QPoint selected_{0, 0};
  std::function<bool(int, int)> isOn_;
};

// The gate matrices' window: the grid of gates (inputs down, outputs
// across) and the fade time.
class TFGateMatrixForm : public TContraptionForm {
  Q_OBJECT

 public:
  void UpdateControls() override;

  TGateGrid* Grid() const { return grid_; }
  KWNumberEdit* FadeTimeEdit() const { return fadeTime_; }

 protected:
  TFGateMatrixForm(TGardeningContraption& contraption, QWidget* parent);

 private:
  void Toggle(int input, int output);

  TGGateMatrix& processor_;
  TGateGrid* grid_;
  KWNumberEdit* fadeTime_;
};

class TF4x4MatrixForm final : public TFGateMatrixForm {
 public:
  TF4x4MatrixForm(TGardeningContraption& contraption, QWidget* parent)
      : TFGateMatrixForm(contraption, parent) {}
};

class TF8x8MatrixForm final : public TFGateMatrixForm {
 public:
  TF8x8MatrixForm(TGardeningContraption& contraption, QWidget* parent)
      : TFGateMatrixForm(contraption, parent) {}
};

}  // namespace tg
