#pragma once

#include <array>
#include <cstdint>

namespace tg {

class QSNoiseSource;

// One bar of sixteen steps as the bass line's editor changes it: bit k of a
// mask belongs to step k, a note of 0 is "off". Kept apart from the window so
// that the pattern operations can be checked without one.
struct BasslinePattern {
  static constexpr int kSteps = 16;

  uint16_t gates = 0xFFFF;
  uint16_t accents = 0;
  uint16_t ties = 0;
  std::array<int8_t, kSteps> notes{};  // MIDI note numbers, 0 = off

  // Every step one earlier (step 0 goes to step 15), or one later.
  void ReframeLeft();
  void ReframeRight();
  // Each note + semitones when that stays within 0 … 127; unchanged otherwise.
  void Transpose(int semitones);
  // New notes 20 … 43 and new gates, ties and accents, drawn step by step.
  void Randomize(QSNoiseSource& noise);

  friend bool operator==(const BasslinePattern&, const BasslinePattern&) = default;
};

}  // namespace tg
