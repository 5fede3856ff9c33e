#include "graph/SharingJudge.h"

#include <algorithm>

namespace tg {

namespace {

// The median of the first n samples (reorders them).
int64_t Median(std::array<int64_t, SharingJudge::kProbeBlocks>& samples, int n) {
  auto middle = samples.begin() + n / 2;
  std::nth_element(samples.begin(), middle, samples.begin() + n);
  return *middle;
}

}  // namespace

SharingJudge::SharingJudge(int64_t budgetNanoseconds) : budget_(budgetNanoseconds) {}

void SharingJudge::SetCycle(int probeBlocks, int cycleBlocks) {
  judging_ = cycleBlocks > 0;
  run_ = std::clamp(probeBlocks, 1, kRunBlocks);
  probe_ = std::clamp(probeBlocks, 1, kProbeBlocks) / run_ * run_;
  cycle_ = std::max(cycleBlocks, 2 * probe_ + 1);
  warmUp_ = std::min(kWarmUpBlocks, cycle_ - 2 * probe_);
}

void SharingJudge::Restart(int threads) {
  threads_ = std::max(threads, 1);
  // Cold caches and first touches of memory would count against whichever
  // way came first.
  position_ = -warmUp_;
  probeAlone_ = false;
  shared_ = -1;
  alone_ = -1;
  sharedSampled_ = 0;
  aloneSampled_ = 0;
  sharingPays_.store(true, std::memory_order_relaxed);
}

bool SharingJudge::ShareAt(int position) const {
  if (position < 0) return true;
  if (position < 2 * probe_) return !probeAlone_ || (position / run_) % 2 == 0;
  return SharingPays();
}

bool SharingJudge::NextSurelyShared() const {
  if (!judging_) return true;
  const int next = position_ + 1;
  // Which way wins is only known once the probe's last pass has been timed.
  if (next == 2 * probe_) return false;
  return ShareAt(next == cycle_ ? 0 : next);
}

void SharingJudge::Took(int64_t nanoseconds) {
  if (!judging_) return;
  if (position_ < 0) {
    ++position_;
    return;
  }
  if (position_ == 0) {
    // Unmeasured, one thread may take as long as all of them together.
    const int64_t aloneGuess = alone_ >= 0 ? alone_ : nanoseconds * threads_;
    probeAlone_ = 2 * aloneGuess < budget_;
  }
  if (position_ < 2 * probe_) {
    // The first pass of each run pays for the change of way.
    if (position_ % run_ != 0 || run_ == 1) {
      if (!ShareAt(position_)) {
        aloneSamples_[static_cast<size_t>(aloneSampled_++)] = nanoseconds;
      } else if (sharedSampled_ < kProbeBlocks) {  // all shared when one thread is not tried
        sharedSamples_[static_cast<size_t>(sharedSampled_++)] = nanoseconds;
      }
    }
    if (position_ == 2 * probe_ - 1) {
      if (sharedSampled_ > 0) shared_ = Median(sharedSamples_, sharedSampled_);
      if (aloneSampled_ > 0) alone_ = Median(aloneSamples_, aloneSampled_);
      sharedSampled_ = 0;
      aloneSampled_ = 0;
      // Sharing must win clearly: one thread has no helper to wait for.
      sharingPays_.store(alone_ < 0 || 20 * shared_ < 19 * alone_, std::memory_order_relaxed);
    }
  } else {
    // The way chosen stays timed: a patch may grow heavier between probes.
    int64_t& estimate = SharingPays() ? shared_ : alone_;
    estimate += (nanoseconds - estimate) / 8;
    // One that outgrew one thread gets its helpers back at once.
    if (!SharingPays() && 2 * alone_ >= budget_ && alone_ > shared_) {
      sharingPays_.store(true, std::memory_order_relaxed);
    }
  }
  if (++position_ == cycle_) position_ = 0;
}

}  // namespace tg
