#include "contraptions/effects/flanger/TFlangerForm.h"

#include "contraptions/effects/flanger/TGFlanger.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {
TSweepForm::Parameters FlangerParameters(TGardeningContraption& contraption) {
  auto& p = static_cast<TGFlanger&>(contraption.Processor());
  return {p.minFrequency, p.maxFrequency, p.rate, p.feedback, p.wetDryMix};
}
}  // namespace

TFlangerForm::TFlangerForm(TGardeningContraption& contraption, QWidget* parent)
    : TSweepForm(contraption, parent, FlangerParameters(contraption),
                 {"Flanger", "Wet/dry mix:", "WetDryMix", 212}) {}

void RegisterFlangerWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TFlangerForm>(type);
}

}  // namespace tg
