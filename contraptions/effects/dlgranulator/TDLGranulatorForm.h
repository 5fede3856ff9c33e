#pragma once

#include <array>

#include "forms/GrainControls.h"
#include "forms/TContraptionForm.h"

class QCheckBox;
class QComboBox;

namespace tg {

class KWDWSlider;
class KWNumberEdit;
class KWRangeSlider;
class TGDLGranulator;

// "DLGranulator": a range slider for each grain range, sliders for the
// line's feed, the mix and the grid's pull, the grid, the grain limit and Freeze.
class TDLGranulatorForm final : public TContraptionForm {
  Q_OBJECT

 public:
  // The grid entries and the clock ticks each stands for.
  static constexpr const std::array<int, 12>& kQuantizeClocks = grain_controls::kGridClocks;

  TDLGranulatorForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  KWRangeSlider* DelaySlider() const { return delay_; }
  KWRangeSlider* AmpSlider() const { return amp_; }
  KWRangeSlider* PanSlider() const { return pan_; }
  KWRangeSlider* PitchSlider() const { return pitch_; }
  KWRangeSlider* IOTSlider() const { return iot_; }
  KWRangeSlider* GDurSlider() const { return gdur_; }
  KWRangeSlider* TrapFactSlider() const { return trapFact_; }
  KWRangeSlider* SkewSlider() const { return skew_; }
  KWDWSlider* FeedbackSlider() const { return feedback_; }
  KWDWSlider* MixSlider() const { return mix_; }
  KWDWSlider* InputGainSlider() const { return inputGain_; }
  KWDWSlider* QuantSlider() const { return quant_; }
  QComboBox* QuantComboBox() const { return quantCombo_; }
  KWNumberEdit* MaxGrainsNumberEdit() const { return maxGrains_; }
  QCheckBox* FreezeCheckBox() const { return freeze_; }

 private:
  TGDLGranulator& processor_;
  KWRangeSlider* delay_;
  KWRangeSlider* amp_;
  KWRangeSlider* pan_;
  KWRangeSlider* pitch_;
  KWRangeSlider* iot_;
  KWRangeSlider* gdur_;
  KWRangeSlider* trapFact_;
  KWRangeSlider* skew_;
  KWDWSlider* feedback_;
  KWDWSlider* mix_;
  KWDWSlider* inputGain_;
  KWDWSlider* quant_;
  QComboBox* quantCombo_;
  KWNumberEdit* maxGrains_;
  QCheckBox* freeze_;
};

}  // namespace tg
