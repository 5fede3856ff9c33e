#pragma once

#include "dsp/QSVInterp.h"
#include "framework/ContraptionDescriptor.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSDoubleProperty.h"

namespace tg::test {

// A type that exists only in the tests, added through its descriptor alone:
// it proves that the New menu, the help contents and the conformance suites
// take a new type without being told.
class TGThrowAway final : public QSSignalProcessor {
 public:
  explicit TGThrowAway(QSDynSigContext* context) : QSSignalProcessor(context, 1, 1) {
    SetOutletSignal(0, &out_);
  }
  void Process() override {
    // A gain glides to a new value through a block, never a step.
    if (gain.TakeChanged()) ramp_.Set(gain.Value());
    ramp_.ApplyGain(InletSignal(0).Data(), out_.Data());
  }
  QSPropertyTable* GetPropertyTable() override {
    static QSStaticPropertyTable::ClassInfo info;
    return table_.Bind(info,
                       [this](auto& add) { add(gain, "Gain", QSGainUnits::Get(), 0.0, 2.0); });
  }

  QSDoubleProperty gain{1.0};

 private:
  QSStaticPropertyTable table_;
  QSSignal out_;
  QSVInterp ramp_;
};

const ContraptionDescriptor& ThrowAwayType();

}  // namespace tg::test
