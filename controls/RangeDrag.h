#pragma once

namespace tg {

// How a drag moves the two thumbs of a range slider.
enum class RangeGrab { None, Lower, Upper, Bar };

struct RangePositions {
  double p0 = 0.0;  // the lower thumb
  double p1 = 1.0;  // the upper thumb
};

// Moves the range by m (a share of the travel) for what was grabbed and the
// modifiers: Shift moves both ends, Alt the other end, Shift+Alt the two ends
// apart or together. The ends never leave [0, 1] and never cross.
RangePositions DragRange(RangePositions at, RangeGrab grab, bool shift, bool alt, double m);

}  // namespace tg
