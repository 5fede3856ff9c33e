#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace tg {

// Whether sharing a pass between threads pays, by measure. Where handing
// signals from core to core costs more than the work it spreads (short
// passes, cores far apart), one thread is faster; which it is depends on the
// machine and the patch, so both are timed now and then and the faster wins.
// The output is the same either way.
//
// Each cycle begins with a probe, runs of a few passes shared and a few on
// one thread in turn (so both meet the same load, and a change of way is
// not counted against either), and runs the rest the faster way. One thread
// is not tried when it would take more than half a block's time, and is left
// at once when it grows that slow, so a heavy patch that needs its helpers on
// stage keeps them.
//
// Audio thread, except Restart (UI thread, no pass running) and
// SharingPays (any thread).
class SharingJudge {
 public:
  static constexpr int kProbeBlocks = 16;  // each way, per probe
  static constexpr int kRunBlocks = 4;
  static constexpr int kWarmUpBlocks = 64;  // shared, untimed, after a restart
  static constexpr int kCycleBlocks = 4096;

  // budgetNanoseconds: a block's time on the device.
  explicit SharingJudge(int64_t budgetNanoseconds);
  SharingJudge(const SharingJudge&) = delete;
  SharingJudge& operator=(const SharingJudge&) = delete;

  // UI thread, no pass running (for tests): how many passes each way takes
  // in a probe (at most kProbeBlocks), and each cycle; a cycle of 0 shares
  // every pass, untimed. Then Restart.
  void SetCycle(int probeBlocks, int cycleBlocks);

  // Forgets what was measured (a new schedule): the next pass is shared.
  // threads: how many share a pass.
  void Restart(int threads);
  // Whether the next pass is to be shared.
  bool Share() const { return !judging_ || ShareAt(position_); }
  // Whether the pass after the next is sure to be shared too (helpers may
  // then begin it).
  bool NextSurelyShared() const;
  // The pass just run, the way Share() said, took this long.
  void Took(int64_t nanoseconds);
  // Whether the passes are shared outside the probes.
  bool SharingPays() const { return sharingPays_.load(std::memory_order_relaxed); }

 private:
  bool ShareAt(int position) const;

  const int64_t budget_;
  int run_ = kRunBlocks;
  int probe_ = kProbeBlocks;
  int cycle_ = kCycleBlocks;
  int warmUp_ = kWarmUpBlocks;
  bool judging_ = true;
  int threads_ = 1;
  int position_ = 0;
  bool probeAlone_ = false;
  int64_t shared_ = -1;  // a shared pass's time, or -1
  int64_t alone_ = -1;   // one thread's, or -1
  std::array<int64_t, kProbeBlocks> sharedSamples_{};
  std::array<int64_t, kProbeBlocks> aloneSamples_{};
  int sharedSampled_ = 0;
  int aloneSampled_ = 0;
  std::atomic<bool> sharingPays_{true};
};

}  // namespace tg
