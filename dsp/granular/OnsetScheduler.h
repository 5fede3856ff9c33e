#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "dsp/BlockConstants.h"
#include "dsp/QSNoiseSource.h"
#include "dsp/granular/OnsetGrid.h"

namespace tg {

// Inter-onset times drawn evenly from a range, in samples.
class UniformGaps {
 public:
  explicit UniformGaps(int32_t seed) : source_(seed) {}
  // Audio thread: later gaps lie between the two bounds.
  void Load(double lowSamples, double highSamples) {
    source_.SetOffset(lowSamples);
    source_.SetScale(highSamples - lowSamples);
    longest_ = std::max(lowSamples, highSamples);
  }
  // Audio thread. At least a sample, so a stream always moves on.
  double Next() { return std::max(source_.Next(), 1.0); }
  // Audio thread, once a block: a wait longer than the range allows was
  // drawn from an older range and is drawn again.
  double Trim(double countdown) { return countdown > longest_ ? Next() : countdown; }

 private:
  QSNoiseSource source_;
  double longest_ = 0.0;
};

// Inter-onset times of a random (Poisson) stream of a mean density, in samples.
class ExponentialGaps {
 public:
  // The uniform values lie in [1e-5, 1), so the logarithm stays finite.
  explicit ExponentialGaps(int32_t seed) : source_(seed, static_cast<double>(1e-5f), 0.99999) {}
  // Audio thread: grains per second, above zero.
  void SetDensity(double perSecond) {
    const double d = perSecond > 1e-6 ? perSecond : 1e-6;
    changed_ = changed_ || d != density_;
    density_ = d;
  }
  double Next() { return -std::log(source_.Next()) / density_ * kSampleRate; }
  // Audio thread, once a block: after a change of density a wait longer than
  // two new mean gaps is cut to that. Only then: a stream's own long gaps
  // are part of its randomness, and cutting them would make it denser.
  double Trim(double countdown) {
    if (!changed_) return countdown;
    changed_ = false;
    return std::min(countdown, 2.0 * kSampleRate / density_);
  }

 private:
  QSNoiseSource source_;
  double density_ = 10.0;
  bool changed_ = false;
};

// The countdown to the next grain onset, carried from block to block. Each
// onset is pulled towards the tempo grid where a grain starts; the countdown
// itself runs on from where the onset was before the pull.
class OnsetScheduler {
 public:
  // A stream this dense is nonsense; the rest of such a block is skipped.
  static constexpr int kMaxOnsetsPerBlock = kBlockSize;

  void Reset() {
    countdown_ = 0;
    line_ = -1;
    landed_ = 0;
  }
  // Samples from the next block's start to the next onset.
  int64_t Countdown() const { return countdown_; }

  // Audio thread: calls start(onset, pulled) for each onset of this block,
  // the onset in samples from the block's start after the grid's pull (it
  // may lie in a later block) and how far the pull moved it; gaps gives the
  // time to the next.
  template <typename Gaps, typename Start>
  void RunBlock(Gaps& gaps, const OnsetGrid& grid, Start&& start) {
    countdown_ = Whole(gaps.Trim(static_cast<double>(countdown_)));
    for (int onsets = 0; countdown_ < kBlockSize; ++onsets) {
      if (onsets == kMaxOnsetsPerBlock) {
        countdown_ = kBlockSize;
        break;
      }
      const int64_t h = countdown_;
      const int64_t onset = Roll(grid.Pull(h), grid);
      start(onset, onset - h);
      countdown_ = h + Whole(gaps.Next());
    }
    countdown_ -= kBlockSize;
    // Onsets never land before the block: a line left behind matches none.
    line_ = std::max<int64_t>(line_ - kBlockSize, -1);
  }

 private:
  static int64_t Whole(double samples) {
    if (!(samples >= 0.0)) return 0;
    return samples < static_cast<double>(OnsetGrid::kLatestOnset) ? static_cast<int64_t>(samples)
                                                                  : OnsetGrid::kLatestOnset;
  }

  // Each onset after the first on a line follows the one before by the
  // grid's roll step; a roll longer than half the spacing starts over.
  int64_t Roll(int64_t onset, const OnsetGrid& grid) {
    const double step = grid.RollStep();
    if (step <= 0.0 || onset != line_) {
      line_ = onset;
      landed_ = 1;
      return onset;
    }
    const double half = grid.Spacing() / 2.0;
    const double after = std::fmod(static_cast<double>(landed_) * step, half);
    ++landed_;
    return onset + static_cast<int64_t>(after);
  }

  int64_t countdown_ = 0;
  int64_t line_ = -1;   // where the last onset landed, from this block's start
  int64_t landed_ = 0;  // onsets landed there
};

}  // namespace tg
