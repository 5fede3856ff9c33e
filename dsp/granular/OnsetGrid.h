#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tg {

// The tempo grid as one block sees it: where its lines fall from the block's
// first sample on, and how far a grain onset is pulled to the next line.
class OnsetGrid {
 public:
  // Onsets later than this many samples are held there: far enough for any
  // real grid, and the countdown arithmetic stays far from overflowing.
  static constexpr int64_t kLatestOnset = int64_t{1} << 30;
  // Samples: far below one, far above what the clock's rounding amounts to.
  static constexpr double kTolerance = 1e-6;

  // No grid: onsets stay where they are.
  OnsetGrid() = default;
  // A line every `ticks` clock ticks (counted from tick 0), seen from a block
  // that starts at clock position `position`; amount 1 moves onsets onto the
  // lines, 0.5 halfway. Inactive unless the clock runs and both are positive.
  static OnsetGrid Make(bool running, double position, double samplesPerTick, int ticks,
                        double amount) {
    OnsetGrid g;
    if (!running || ticks <= 0 || !(amount > 0.0) || !std::isfinite(samplesPerTick) ||
        samplesPerTick < 1.0 || !(std::fabs(position) < 1e12))
      return g;
    const double t = std::ceil(position);
    const double q = ticks;
    // The line at tick t itself counts when t lies on the grid.
    const double ticksToLine = std::fmod(q - std::fmod(t, q), q);
    g.first_ = (ticksToLine + (t - position)) * samplesPerTick;
    g.spacing_ = q * samplesPerTick;
    g.amount_ = std::min(amount, 1.0);
    g.active_ = true;
    return g;
  }

  // Grains pulled onto one line follow the first there a roll step apart.
  // Started on one sample they would add up to a burst far louder than the
  // free texture; a step of a third of the stream's mean gap (or of a
  // grain, where grains do not overlap) lets no more than three times as
  // many sound together, so the roll peaks well under twice the free level.
  void SetRoll(double meanGapSamples, double meanLengthSamples) {
    const double step = std::min(meanGapSamples, meanLengthSamples) / 3.0;
    rollStep_ = step > 0.0 && step < spacing_ ? step : 0.0;
  }
  double RollStep() const { return active_ ? rollStep_ : 0.0; }

  bool Active() const { return active_; }
  double Spacing() const { return spacing_; }
  // The first line at or after sample h of the block.
  double LineAtOrAfter(double h) const {
    // A line a rounding error before h is the line at h.
    if (h <= first_ + kTolerance) return first_;
    return first_ + std::ceil((h - first_ - kTolerance) / spacing_) * spacing_;
  }
  // The onset h (samples from the block's start) moved towards the next line.
  int64_t Pull(int64_t h) const {
    if (!active_) return h;
    const double g = LineAtOrAfter(static_cast<double>(h));
    // A line on a whole sample lands on it from every block, whatever
    // rounding the clock's position carries.
    const double moved =
        std::floor((g - static_cast<double>(h)) * amount_ + static_cast<double>(h) + kTolerance);
    return moved < static_cast<double>(kLatestOnset) ? static_cast<int64_t>(moved) : kLatestOnset;
  }

 private:
  bool active_ = false;
  double first_ = 0.0;
  double spacing_ = 1.0;
  double amount_ = 0.0;
  double rollStep_ = 0.0;
};

}  // namespace tg
