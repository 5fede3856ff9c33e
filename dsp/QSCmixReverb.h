#pragma once

#include <array>
#include <cstddef>
#include <memory>

#include "dsp/DcBlocker.h"
#include "dsp/QSAllpass.h"
#include "dsp/QSComb.h"

namespace tg {

// Four parallel combs into three allpasses; the last allpass is doubled with
// a 1 % longer delay, which decorrelates the left and right outputs.
class QSCmixReverb {
 public:
  // UI thread.
  QSCmixReverb();
  QSCmixReverb(const QSCmixReverb&) = delete;
  QSCmixReverb& operator=(const QSCmixReverb&) = delete;

  // The comb gains that make each loop decay by 60 dB in seconds (ramped).
  void SetReverbTime(double seconds);
  // UI thread, audio stopped: the tail is gone; the reverberation time stays.
  void Clear();
  // Audio thread: one block; in and outLeft may be the same block.
  void Process(const float* in, float* outLeft, float* outRight);

  const QSComb& CombAt(int i) const { return *combs_[static_cast<std::size_t>(i)]; }
  const QSAllpass& AllpassAt(int i) const { return *allpasses_[static_cast<std::size_t>(i)]; }

 private:
  // Every delay and gain, each taking effect at once on new ramps.
  void Tune();

  std::array<std::unique_ptr<QSComb>, 4> combs_;
  std::array<std::unique_ptr<QSAllpass>, 3> allpasses_;
  DcBlocker dc_;
  double reverbTime_ = 1.0;
  alignas(64) std::array<float, kBlockSize> t0_{};
  alignas(64) std::array<float, kBlockSize> t1_{};
  alignas(64) std::array<float, kBlockSize> t2_{};
};

}  // namespace tg
