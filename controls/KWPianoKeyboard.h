#pragma once

#include <QWidget>
#include <array>
#include <vector>

namespace tg {

// A piano keyboard for choosing notes (key 69 is the A of 440 Hz).
class KWPianoKeyboard final : public QWidget {
  Q_OBJECT

 public:
  enum class InputMode { Momentary, Single, Multiple };
  explicit KWPianoKeyboard(QWidget* parent = nullptr);
  QSize sizeHint() const override;

  int BottomKey() const { return bottomKey_; }
  // 1 … 127; anything else is ignored.
  void SetBottomKey(int key);
  int KeyRange() const { return keyRange_; }
  void SetKeyRange(int range);
  // The selected key when exactly one is, else 0.
  int SelectedKey() const;
  void SetSelectedKey(int key);
  const std::vector<int>& SelectedKeys() const { return selected_; }
  int SelectedKeysAt(int index) const;
  bool IsSelected(int key) const {
    return key >= 0 && key < 128 && flags_[static_cast<size_t>(key)];
  }
  InputMode Mode() const { return mode_; }
  void SetInputMode(InputMode mode);
  void SetAutoSize(bool autoSize);
  // The key at a point, or −1.
  int KeyAt(QPoint point) const;
  int WhiteKeyWidth() const { return whiteWidth_; }

 signals:
  void OnChange();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Select(int key, bool on);
  void SelectOnly(int key);
  void Measure();
  int ScrollOffset() const;
  QRect KeyRect(int key) const;
  static bool IsBlack(int key);

  int bottomKey_ = 1;
  int keyRange_ = 64;
  InputMode mode_ = InputMode::Single;
  bool autoSize_ = false;
  std::array<bool, 128> flags_{};
  std::vector<int> selected_;
  int whiteWidth_ = 10, blackWidth_ = 7, blackHeight_ = 30;
};

}  // namespace tg
