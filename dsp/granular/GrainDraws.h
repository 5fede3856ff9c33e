#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "dsp/QSNoiseSource.h"

namespace tg {

// What a granulator draws for one new grain, each value from its own range.
struct GrainDraw {
  double pan = 0.0;      // 0 left … 1 right
  double skew = 0.0;     // share of the unsustained part given to the attack
  double sustain = 0.0;  // share of the grain held at full level
  double amplitude = 0.0;
  double durationMs = 0.0;
  double rate = 1.0;     // playback rate, the transposition
  double whereMs = 0.0;  // where the grain reads: how far back, or how far in
};

// One noise source per grain range. Every grain draws from all of them in one
// fixed order, so a grain stream depends only on the seeds and the ranges.
class GrainRangeSources {
 public:
  enum Range : std::size_t { kPan, kSkew, kSustain, kAmplitude, kDuration, kRate, kWhere, kCount };

  // Seeded from the calendar time, each source its own seed.
  GrainRangeSources()
      : sources_{
            QSNoiseSource(QSNoiseSource::ClockSeed()), QSNoiseSource(QSNoiseSource::ClockSeed()),
            QSNoiseSource(QSNoiseSource::ClockSeed()), QSNoiseSource(QSNoiseSource::ClockSeed()),
            QSNoiseSource(QSNoiseSource::ClockSeed()), QSNoiseSource(QSNoiseSource::ClockSeed()),
            QSNoiseSource(QSNoiseSource::ClockSeed())} {}

  // Audio thread: later draws of this range lie between low and high.
  void Load(Range range, double low, double high) {
    QSNoiseSource& s = sources_[range];
    s.SetOffset(low);
    s.SetScale(high - low);
  }
  // Audio thread: one grain's values.
  GrainDraw Draw() {
    GrainDraw d;
    d.pan = sources_[kPan].Next();
    d.skew = sources_[kSkew].Next();
    d.sustain = sources_[kSustain].Next();
    d.amplitude = sources_[kAmplitude].Next();
    d.durationMs = sources_[kDuration].Next();
    d.rate = sources_[kRate].Next();
    d.whereMs = sources_[kWhere].Next();
    return d;
  }

 private:
  std::array<QSNoiseSource, kCount> sources_;
};

}  // namespace tg
