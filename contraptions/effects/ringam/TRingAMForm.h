#pragma once

#include "forms/TContraptionForm.h"

class QRadioButton;

namespace tg {

class KWDWKnob;
class TGRingAM;

// "RingAM": the internal sine's frequency and ring or amplitude modulation.
class TRingAMForm final : public TContraptionForm {
  Q_OBJECT

 public:
  TRingAMForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  KWDWKnob* FrequencyKnob() const { return frequency_; }
  QRadioButton* RingButton() const { return ring_; }
  QRadioButton* AmButton() const { return am_; }

 private:
  TGRingAM& processor_;
  KWDWKnob* frequency_;
  QRadioButton* ring_;
  QRadioButton* am_;
};

}  // namespace tg
