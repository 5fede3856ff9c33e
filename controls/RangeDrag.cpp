#include "controls/RangeDrag.h"

#include <algorithm>
#include <cmath>

namespace tg {

namespace {

struct Deltas {
  double d0 = 0.0, d1 = 0.0;
};

Deltas Moves(RangeGrab grab, bool shift, bool alt, double m) {
  switch (grab) {
    case RangeGrab::Upper:
      if (shift && alt) return {-m, m};
      if (shift) return {m, m};
      if (alt) return {m, 0.0};
      return {0.0, m};
    case RangeGrab::Lower:
      if (shift && alt) return {m, -m};
      if (shift) return {m, m};
      if (alt) return {0.0, m};
      return {m, 0.0};
    case RangeGrab::Bar:
      if (shift && alt) return {-m, m};
      if (shift) return {0.0, m};
      if (alt) return {m, 0.0};
      return {m, m};
    case RangeGrab::None:
      break;
  }
  return {};
}

}  // namespace

RangePositions DragRange(RangePositions at, RangeGrab grab, bool shift, bool alt, double m) {
  Deltas d = Moves(grab, shift, alt, m);
  if (at.p0 + d.d0 < 0.0) {
    d.d0 = -at.p0;
    if (d.d1 != 0.0) d.d1 = std::copysign(std::abs(d.d0), d.d1);
  }
  if (at.p1 + d.d1 > 1.0) {
    d.d1 = 1.0 - at.p1;
    if (d.d0 != 0.0) d.d0 = std::copysign(std::abs(d.d1), d.d0);
  }
  if (at.p1 + d.d1 < at.p0 + d.d0) {
    if (d.d0 != 0.0 && d.d1 != 0.0) {
      const double middle = (at.p0 + at.p1) / 2.0;
      d.d0 = middle - at.p0;
      d.d1 = middle - at.p1;
    } else if (d.d0 != 0.0) {
      d.d0 = at.p1 - at.p0;
    } else {
      d.d1 = at.p0 - at.p1;
    }
  }
  return {std::clamp(at.p0 + d.d0, 0.0, 1.0), std::clamp(at.p1 + d.d1, 0.0, 1.0)};
}

}  // namespace tg
