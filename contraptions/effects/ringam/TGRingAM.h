#pragma once

#include "dsp/DcBlocker.h"
#include "dsp/DenormalNoise.h"
#include "dsp/QSFunctionTable.h"
#include "dsp/QSOscillator.h"
#include "dsp/QSVInterp.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSBoolProperty.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

// "RingAM": the input times a modulator, either the second input or an
// internal sine, as a ring modulator (−1 … 1) or an amplitude modulator (0 … 1).
// Both signals are DC-blocked first, so a constant input makes no sound.
class TGRingAM final : public QSSignalProcessor {
 public:
  static constexpr double kMinFrequency = 20.0;
  static constexpr double kMaxFrequency = 1500.0;

  explicit TGRingAM(QSDynSigContext* context);

  // Audio thread.
  void Process() override;
  // UI thread, audio stopped: the sine starts again at phase 0, the DC blockers empty.
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;

  QSDoubleProperty frequency{440.0};
  QSBoolProperty am{false};  // false ring modulation, true amplitude modulation

 private:
  QSStaticPropertyTable table_;
  QSSignal out_, modulator_;
  DcBlocker signalDc_, modulatorDc_;
  DenormalNoise noise_ = DenormalNoise::FromClock();
  QSFunctionTable sine_{1024};
  QSOscillator oscillator_{sine_};
  QSVInterp amShare_;  // 0 ring modulation, 1 amplitude modulation
};

}  // namespace tg
