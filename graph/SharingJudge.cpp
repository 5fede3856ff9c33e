#include "graph/SharingJudge.h"

#include <algorithm>

namespace tg {

SharingJudge::SharingJudge(int64_t budgetNanoseconds) : budget_(budgetNanoseconds) {}

void SharingJudge::SetCycle(int probeBlocks, int cycleBlocks) {
  judging_ = cycleBlocks > 0;
  probe_ = std::clamp(probeBlocks, 1, kProbeBlocks);
  cycle_ = std::max(cycleBlocks, 2 * probe_ + 1);
}

void SharingJudge::Restart(int threads) {
  threads_ = std::max(threads, 1);
  position_ = 0;
  probeAlone_ = false;
  shared_ = -1;
  alone_ = -1;
  sampled_ = 0;
  sharingPays_.store(true, std::memory_order_relaxed);
}

bool SharingJudge::ShareAt(int position) const {
  if (position < probe_) return true;
  if (position < 2 * probe_) return !probeAlone_;
  return SharingPays();
}

bool SharingJudge::NextSurelyShared() const {
  if (!judging_) return true;
  const int next = position_ + 1;
  // Whether to try one thread, and which way wins, are only known once the
  // pass before has been timed.
  if (next == probe_ || next == 2 * probe_) return false;
  return ShareAt(next == cycle_ ? 0 : next);
}

int64_t SharingJudge::Median() {
  auto middle = samples_.begin() + sampled_ / 2;
  std::nth_element(samples_.begin(), middle, samples_.begin() + sampled_);
  sampled_ = 0;
  return *middle;
}

void SharingJudge::Took(int64_t nanoseconds) {
  if (!judging_) return;
  if (position_ < 2 * probe_ && sampled_ < kProbeBlocks) {
    samples_[static_cast<size_t>(sampled_++)] = nanoseconds;
  }
  if (position_ == probe_ - 1) {
    shared_ = Median();
    // Unmeasured, one thread may take as long as all of them together.
    const int64_t aloneGuess = alone_ >= 0 ? alone_ : shared_ * threads_;
    probeAlone_ = 2 * aloneGuess < budget_;
  } else if (position_ == 2 * probe_ - 1) {
    if (probeAlone_) {
      alone_ = Median();
    } else {
      sampled_ = 0;
    }
    // Sharing must win clearly: one thread has no helper to wait for.
    sharingPays_.store(alone_ < 0 || 20 * shared_ < 19 * alone_, std::memory_order_relaxed);
  } else if (position_ >= 2 * probe_) {
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
