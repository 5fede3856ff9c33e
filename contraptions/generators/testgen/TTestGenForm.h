#pragma once

#include "forms/TContraptionForm.h"

class QRadioButton;

namespace tg {

class KWDWKnob;
class KWNumberEdit;
class TGTestSignalGenerator;

// "Test Signal Generator": sine or noise, volume knob, frequency field.
class TTestGenForm final : public TContraptionForm {
  Q_OBJECT

 public:
  TTestGenForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  QRadioButton* SineButton() const { return sine_; }
  QRadioButton* NoiseButton() const { return noise_; }
  KWDWKnob* VolumeKnob() const { return volume_; }
  KWNumberEdit* FrequencyEdit() const { return frequency_; }

 private:
  TGTestSignalGenerator& processor_;
  QRadioButton* sine_;
  QRadioButton* noise_;
  KWDWKnob* volume_;
  KWNumberEdit* frequency_;
};

}  // namespace tg
