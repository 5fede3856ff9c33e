#include "controls/MeterLogic.h"

namespace tg::meter {

int LitSegments(float level, int segmentCount) {
  if (level >= 1.0f) return segmentCount;
  if (!(level > 0.0f)) return 0;
  const int64_t full = (int64_t{1} << (segmentCount - 1)) - 1;
  auto n = static_cast<int64_t>(static_cast<double>(level) * static_cast<double>(full));
  int bits = 0;
  while (n > 0) {
    ++bits;
    n >>= 1;
  }
  return bits;
}

SegmentColour ColourOf(int segment, int segmentCount) {
  if (segment <= 0) return SegmentColour::DarkGreen;
  if (segment >= segmentCount - 1) return SegmentColour::Red;
  const int n = segmentCount;
  const int darkGreen = static_cast<int>((n - 1) * 4.0 / 9.0 + 0.5);
  const int green = static_cast<int>((n - 1) / 3.0 + 0.5);
  const int yellow = static_cast<int>((n - 1) * 5.0 / 18.0 + 1.0);
  if (segment < darkGreen) return SegmentColour::DarkGreen;
  if (segment < darkGreen + green) return SegmentColour::Green;
  if (segment < darkGreen + green + yellow) return SegmentColour::Yellow;
  return SegmentColour::Red;
}

}  // namespace tg::meter
