#include "controls/KWDWMeter.h"

#include <QPainter>
#include <algorithm>

#include "controls/MeterLogic.h"
#include "controls/PixelLines.h"

namespace tg {

KWDWMeter::KWDWMeter(QWidget* parent) : QWidget(parent) { setMinimumSize(6, 6); }

void KWDWMeter::SetSegmentCount(int count) {
  segments_ = std::clamp(count, 1, kMaxCount);
  for (int c = 0; c < channels_; ++c)
    lit_[static_cast<size_t>(c)] = meter::LitSegments(levels_[static_cast<size_t>(c)], segments_);
  update();
}

void KWDWMeter::SetChannelCount(int count) {
  channels_ = std::clamp(count, 1, kMaxCount);
  update();
}

void KWDWMeter::SetVertical(bool vertical) {
  vertical_ = vertical;
  updateGeometry();
  update();
}

void KWDWMeter::SetValues(int channel, float level) {
  if (channel < 0 || channel >= channels_) return;
  const auto c = static_cast<size_t>(channel);
  levels_[c] = level;
  const int lit = meter::LitSegments(level, segments_);
  if (lit == lit_[c]) return;
  // Only the segments that change are drawn again.
  const int from = std::min(lit, lit_[c]), to = std::max(lit, lit_[c]);
  lit_[c] = lit;
  update(Cell(channel, from).united(Cell(channel, to - 1)));
}

float KWDWMeter::GetValues(int channel) const {
  return channel < 0 || channel >= channels_ ? 0.0f : levels_[static_cast<size_t>(channel)];
}

int KWDWMeter::LitCount(int channel) const {
  return channel < 0 || channel >= channels_ ? 0 : lit_[static_cast<size_t>(channel)];
}

void KWDWMeter::Clear() {
  levels_.fill(0.0f);
  lit_.fill(0);
  clipped_ = false;
  update();
}

namespace {
// Pixels the clip light takes from the segments' length, its gap included.
constexpr int kClipRoom = 7;
}  // namespace

void KWDWMeter::SetClipLightShown(bool shown) {
  clipLight_ = shown;
  update();
}

void KWDWMeter::SetClipped(bool lit) {
  if (lit == clipped_) return;
  clipped_ = lit;
  update(ClipLight());
}

QRect KWDWMeter::ClipLight() const {
  if (!clipLight_) return {};
  if (vertical_) return {2, 2, std::max(width() - 5, 1), kClipRoom - 2};
  return {width() - 2 - (kClipRoom - 1), 2, kClipRoom - 2, std::max(height() - 5, 1)};
}

QRect KWDWMeter::Cell(int channel, int segment) const {
  const int room = clipLight_ ? kClipRoom : 0;
  if (vertical_) {
    const int w = (width() - 4) / channels_, h = (height() - 4 - room) / segments_;
    return {2 + channel * w, height() - 2 - (segment + 1) * h, std::max(w - 1, 1),
            std::max(h - 1, 1)};
  }
  const int w = (width() - 4 - room) / segments_, h = (height() - 4) / channels_;
  return {2 + segment * w, 2 + channel * h, std::max(w - 1, 1), std::max(h - 1, 1)};
}

QColor KWDWMeter::ColourOf(int segment, int segmentCount) {
  switch (meter::ColourOf(segment, segmentCount)) {
    case meter::SegmentColour::DarkGreen:
      return {0, 128, 0};
    case meter::SegmentColour::Green:
      return {0, 255, 0};
    case meter::SegmentColour::Yellow:
      return {255, 255, 0};
    case meter::SegmentColour::Red:
      break;
  }
  return {255, 0, 0};
}

void KWDWMeter::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& pal = palette();
  painter.fillRect(rect(), pal.color(QPalette::Button));
  painter.setPen(pal.color(QPalette::Shadow));
  PixelLine(painter, {0, 0}, {width() - 1, 0});
  PixelLine(painter, {0, 0}, {0, height() - 1});
  painter.setPen(pal.color(QPalette::Light));
  PixelLine(painter, {width() - 1, 0}, {width() - 1, height() - 1});
  PixelLine(painter, {0, height() - 1}, {width() - 1, height() - 1});
  if (!isEnabled()) return;
  if (clipLight_) painter.fillRect(ClipLight(), clipped_ ? QColor(255, 0, 0) : QColor(96, 0, 0));
  for (int c = 0; c < channels_; ++c) {
    for (int s = 0; s < lit_[static_cast<size_t>(c)]; ++s)
      painter.fillRect(Cell(c, s), ColourOf(s, segments_));
  }
}

}  // namespace tg
