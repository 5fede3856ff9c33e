#include "contraptions/generators/bassline/BasslinePattern.h"

#include <algorithm>
#include <cmath>

#include "dsp/QSNoiseSource.h"

namespace tg {

namespace {

// Bit 0 moves to bit 15.
uint16_t RotatedEarlier(uint16_t bits) {
  return static_cast<uint16_t>((bits >> 1) | ((bits & 1u) << 15));
}

// Bit 15 moves to bit 0.
uint16_t RotatedLater(uint16_t bits) { return static_cast<uint16_t>((bits << 1) | (bits >> 15)); }

// A drawn bit: set when the draw is below the threshold, else flipped.
uint16_t Drawn(uint16_t bits, int step, double draw, double threshold) {
  const auto bit = static_cast<uint16_t>(1u << step);
  return static_cast<uint16_t>(draw < threshold ? bits | bit : bits ^ bit);
}

}  // namespace

void BasslinePattern::ReframeLeft() {
  gates = RotatedEarlier(gates);
  accents = RotatedEarlier(accents);
  ties = RotatedEarlier(ties);
  std::rotate(notes.begin(), notes.begin() + 1, notes.end());
}

void BasslinePattern::ReframeRight() {
  gates = RotatedLater(gates);
  accents = RotatedLater(accents);
  ties = RotatedLater(ties);
  std::rotate(notes.rbegin(), notes.rbegin() + 1, notes.rend());
}

void BasslinePattern::Transpose(int semitones) {
  for (int8_t& note : notes) {
    const int moved = note + semitones;
    if (moved >= 0 && moved <= 127) note = static_cast<int8_t>(moved);
  }
}

void BasslinePattern::Randomize(QSNoiseSource& noise) {
  // Draws in [0, 1), whatever the source was last used for.
  noise.SetOffset(0.0);
  noise.SetScale(1.0);
  for (int step = 0; step < kSteps; ++step) {
    notes[static_cast<size_t>(step)] = static_cast<int8_t>(std::floor(20.0 + 24.0 * noise.Next()));
    gates = Drawn(gates, step, noise.Next() * 15.0, 10.0);
    ties = Drawn(ties, step, noise.Next() * 15.0, 3.0);
    accents = Drawn(accents, step, noise.Next() * 15.0, 5.0);
  }
}

}  // namespace tg
