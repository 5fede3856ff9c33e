#pragma once

#include "dsp/DenormalNoise.h"
#include "dsp/EqualPowerMix.h"
#include "dsp/QSCmixReverb.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

// "NastyReverb": a small mono-in, stereo-out reverberator with a
// reverberation time and an equal-power wet/dry mix.
class TGCmixReverb final : public QSSignalProcessor {
 public:
  static constexpr double kMinReverbTime = 0.1;
  static constexpr double kMaxReverbTime = 10.0;

  explicit TGCmixReverb(QSDynSigContext* context);

  // Audio thread.
  void Process() override;
  // UI thread, audio stopped: the tail is cut off.
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;

  QSDoubleProperty reverbTime{1.0};
  QSDoubleProperty wetDryMix{0.5};

 private:
  QSStaticPropertyTable table_;
  QSSignal left_, right_;
  QSCmixReverb reverb_;
  EqualPowerMix mix_;
  DenormalNoise noise_ = DenormalNoise::FromClock();
};

}  // namespace tg
