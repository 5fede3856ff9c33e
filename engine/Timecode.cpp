#include "engine/Timecode.h"

#include <cmath>

#include "graph/TempoClock.h"

namespace tg {

uint32_t ClockTickOf(double position) {
  if (!(position > 0.0)) return 0;  // also NaN
  const double up = std::ceil(position);
  if (up >= 4294967295.0) return UINT32_MAX;
  return static_cast<uint32_t>(up);
}

std::string FormatTimecode(uint32_t tick) {
  const uint32_t beats = tick / TempoClock::kTicksPerBeat;
  const uint32_t bar = beats / TempoClock::kBeatsPerBar;
  const uint32_t beat = beats % TempoClock::kBeatsPerBar + 1;
  return std::to_string(bar) + ":" + std::to_string(beat);
}

}  // namespace tg
