#pragma once

#include "dsp/GainSmoother.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

// "Crossfader": two stereo sources, A (inlets 0, 1) and B (inlets 2, 3),
// blended by one fader. Both stay at full level up to the centre; each fades
// out linearly over the far half. A mono source on either inlet of its pair
// feeds both outlets.
class TGCrossfader final : public QSSignalProcessor {
 public:
  // Each channel's gain settles like one 5 Hz pole stepped twice a sample.
  static constexpr double kSmootherCutoffHz = 10.0;

  explicit TGCrossfader(QSDynSigContext* context);

  void Process() override;
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;

  // The two sources' gains for a fader position (0 = A only, 1 = B only).
  struct Gains {
    double a, b;
  };
  static Gains FadeLaw(double fade);

  QSDoubleProperty masterGain{1.0};
  QSDoubleProperty trimA{1.0};
  QSDoubleProperty trimB{1.0};
  QSDoubleProperty fade{0.0};

 private:
  // Audio thread: one source's pair, smoothed, into (or onto) the outlets.
  template <bool kAdd>
  void RunSource(int firstInlet, double gain, GainSmoother (&smoothers)[2]);

  QSStaticPropertyTable table_;
  QSSignal left_, right_;
  // One smoother per source and channel, so left and right follow the same
  // trajectory without a step at block boundaries.
  GainSmoother a_[2]{{kSampleRateF, kSmootherCutoffHz}, {kSampleRateF, kSmootherCutoffHz}};
  GainSmoother b_[2]{{kSampleRateF, kSmootherCutoffHz}, {kSampleRateF, kSmootherCutoffHz}};

  static constexpr float kSampleRateF = static_cast<float>(kSampleRate);
};

}  // namespace tg
