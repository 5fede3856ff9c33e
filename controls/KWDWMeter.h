#pragma once

#include <QWidget>
#include <array>

namespace tg {

// A segmented peak meter: each lit segment doubles the level (about 6 dB).
class KWDWMeter final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMaxCount = 16;
  explicit KWDWMeter(QWidget* parent = nullptr);
  QSize sizeHint() const override { return vertical_ ? QSize(14, 100) : QSize(100, 14); }

  int SegmentCount() const { return segments_; }
  void SetSegmentCount(int count);
  int ChannelCount() const { return channels_; }
  void SetChannelCount(int count);
  bool IsVertical() const { return vertical_; }
  void SetVertical(bool vertical);
  // Ignored for a channel outside the range.
  void SetValues(int channel, float level);
  float GetValues(int channel) const;
  int LitCount(int channel) const;
  void Clear();
  // A clip light at the loud end, beyond the segments: red while lit.
  void SetClipLightShown(bool shown);
  bool IsClipLightShown() const { return clipLight_; }
  void SetClipped(bool lit);
  bool IsClipped() const { return clipped_; }
  QRect ClipLight() const;
  // The cell of a segment of a channel, inside the border.
  QRect Cell(int channel, int segment) const;
  static QColor ColourOf(int segment, int segmentCount);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int segments_ = 10;
  int channels_ = 1;
  bool vertical_ = true;
  bool clipLight_ = false;
  bool clipped_ = false;
  std::array<float, kMaxCount> levels_{};
  std::array<int, kMaxCount> lit_{};
};

}  // namespace tg
