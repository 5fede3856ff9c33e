#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/drumkit/DrumKit.h"

namespace tg {

namespace drumkit {

// The loops' tempo: 120 beats a minute, so a 4/4 bar lasts exactly two seconds.
inline constexpr int kLoopBeatsPerMinute = 120;
inline constexpr size_t kBarFrames = 88200;
inline constexpr int kStepsPerBar = 16;

// The first frame of sixteenth-note step k of a loop: k × 5512.5, a half
// always rounded up.
constexpr size_t StepFrame(int step) {
  return (static_cast<size_t>(step) * (2 * kBarFrames / kStepsPerBar) + 1) / 2;
}

}  // namespace drumkit

// A loop of whole bars that repeats seamlessly: whatever still rings at its
// end sounds again from its start.
struct LoopSound {
  std::string fileName;
  int channels = 1;
  std::vector<double> samples;  // interleaved frames, full scale ±1.0
  // The sixteenths on which a drum starts; empty for the pitched loops.
  std::vector<int> hitSteps;

  size_t Frames() const { return samples.size() / static_cast<size_t>(channels); }
};

// Every loop, in a fixed order: drum grooves mixed from the kit's own
// sounds, a percussion loop, a bass line and a pad. Each peaks at the kit's
// level, and each call gives exactly the same samples.
std::vector<LoopSound> MakeLoops(const std::vector<DrumSound>& kit);

}  // namespace tg
