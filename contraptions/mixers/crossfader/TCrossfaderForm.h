#pragma once

#include "forms/TContraptionForm.h"

namespace tg {

class KWDWKnob;
class KWDWSlider;
class TGCrossfader;

// "Crossfader": master gain, source A's trim, the fader, source B's trim.
class TCrossfaderForm final : public TContraptionForm {
  Q_OBJECT

 public:
  static constexpr int kFaderLength = 144;

  TCrossfaderForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  KWDWKnob* MasterKnob() const { return master_; }
  KWDWKnob* Knob1() const { return trimA_; }
  KWDWSlider* Fader() const { return fader_; }
  KWDWKnob* Knob2() const { return trimB_; }

 private:
  TGCrossfader& processor_;
  KWDWKnob* master_;
  KWDWKnob* trimA_;
  KWDWSlider* fader_;
  KWDWKnob* trimB_;
};

}  // namespace tg
