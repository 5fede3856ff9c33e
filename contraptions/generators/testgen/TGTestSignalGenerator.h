#pragma once

#include "dsp/GainSmoother.h"
#include "dsp/QSNoiseSource.h"
#include "dsp/QSSineRotor.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSDoubleProperty.h"
#include "properties/QSIntProperty.h"

namespace tg {

// "TestGen": a sine or white noise at a smoothed amplitude; no inlets, one outlet.
class TGTestSignalGenerator final : public QSSignalProcessor {
 public:
  explicit TGTestSignalGenerator(QSDynSigContext* context);

  void Process() override;
  bool MayRunAhead() const override { return true; }
  QSPropertyTable* GetPropertyTable() override;

  QSDoubleProperty amplitude{0.0};
  QSDoubleProperty frequency{440.0};
  QSIntProperty waveform{1};  // 1 sine, anything else noise

 private:
  QSStaticPropertyTable table_;
  QSSignal out_;
  QSSineRotor rotor_;
  QSNoiseSource noise_;
  GainSmoother smoother_;
};

}  // namespace tg
