#pragma once

#include "dsp/DenormalNoise.h"
#include "dsp/EqualPowerMix.h"
#include "dsp/QSDelayLine.h"
#include "dsp/QSVInterp.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSDoubleProperty.h"
#include "properties/QSIntProperty.h"

namespace tg {

// "SDelay": a stereo echo with crossed inputs, feedback from the right line,
// delays in milliseconds or semiquavers of the tempo clock, and a wet/dry mix.
class TGSDelay final : public QSSignalProcessor {
 public:
  static constexpr int kMinDelayMs = 20;
  static constexpr int kMaxDelayMs = 2000;
  static constexpr int kMaxSemiquavers = 32;

  explicit TGSDelay(QSDynSigContext* context);

  void Process() override;
  // Both lines fall silent; the write positions stay.
  void Reset() override {
    leftLine_.Clear();
    rightLine_.Clear();
  }
  QSPropertyTable* GetPropertyTable() override;

  // The two delay lines' memory.
  static size_t BufferMemory() { return 2 * QSDelayLine::BytesFor(kLineSeconds); }

  // Milliseconds in one semiquaver at the clock's tempo.
  static double MillisecondsPerSemiquaver(double samplesPerClock);

  QSIntProperty leftDelay{200};
  QSIntProperty rightDelay{200};
  QSDoubleProperty feedback{0.3};
  QSDoubleProperty wetDryMix{1.0};
  QSIntProperty delayUnits{0};  // 0 milliseconds, 1 semiquavers

 private:
  QSStaticPropertyTable table_;
  QSSignal leftOut_, rightOut_, feedA_, feedB_;
  QSSignal dry0_, dry1_;
  static constexpr double kLineSeconds = 2.1;
  QSDelayLine leftLine_{kLineSeconds};
  QSDelayLine rightLine_{kLineSeconds};
  EqualPowerMix mix_;
  QSVInterp feedbackRamp_;
  DenormalNoise noise_ = DenormalNoise::FromClock();
};

}  // namespace tg
