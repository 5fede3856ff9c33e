#pragma once

#include <QWidget>
#include <array>

namespace tg {

class TGardeningContraption;

// The grid of twenty preset slots that drops down from a contraption
// window's preset button: a click recalls a slot; the right button offers
// Recall, Store, Clear, Cut, Copy and Paste.
class TPresetMenuForm final : public QWidget {
  Q_OBJECT

 public:
  enum Action { kNone = 0, kRecall = 1, kStore = 2, kClear = 3, kCut = 4, kCopy = 5, kPaste = 6 };
  struct Choice {
    Action action = kNone;
    int slot = -1;  // 0 … 19
  };
  using SlotFlags = std::array<bool, 20>;

  explicit TPresetMenuForm(QWidget* parent = nullptr);

  // Drops the menu below a button and waits for the user; then applies the
  // choice to the contraption and answers it.
  static Choice Run(QWidget* button, TGardeningContraption& contraption);
  // What Run does before waiting: takes which slots are filled and finds its place.
  void Prepare(const SlotFlags& filled, bool canPaste, QPoint belowButton);
  // Carries a choice out on a contraption.
  static void Apply(const Choice& choice, TGardeningContraption& contraption);

  int CellWidth() const { return cellWidth_; }
  int CellHeight() const { return cellHeight_; }
  // Cell 1 … 20 at a point, or −1.
  int CellAt(QPoint point) const;
  int Hovered() const { return hovered_; }
  Choice Result() const { return result_; }
  // Which of Recall, Store, Clear, Cut, Copy, Paste the right-button menu
  // offers for a cell.
  std::array<bool, 6> MenuEnabled(int cell) const;

 signals:
  void Closed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  bool HasPreset(int cell) const {
    return cell >= 1 && cell <= 20 && slots_[static_cast<size_t>(cell - 1)];
  }
  void Choose(Action action, int cell);

  int cellWidth_ = 20;
  int cellHeight_ = 20;
  int hovered_ = -1;
  SlotFlags slots_{};
  bool canPaste_ = false;
  Choice result_;
};

}  // namespace tg
