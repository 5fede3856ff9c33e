#pragma once

#include "forms/TContraptionForm.h"

namespace tg {

class KWDWSlider;
class TGCmixReverb;

// "NastyReverb": reverberation time and wet/dry mix on two faders.
class TNastyReverbForm final : public TContraptionForm {
  Q_OBJECT

 public:
  TNastyReverbForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  KWDWSlider* ReverbTimeSlider() const { return reverbTime_; }
  KWDWSlider* WetnessSlider() const { return wetness_; }

 private:
  TGCmixReverb& processor_;
  KWDWSlider* reverbTime_;
  KWDWSlider* wetness_;
};

}  // namespace tg
