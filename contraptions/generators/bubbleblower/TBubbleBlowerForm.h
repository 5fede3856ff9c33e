#pragma once

#include "forms/OpenSoundFileDialog.h"
#include "forms/TContraptionForm.h"

class QComboBox;
class QLabel;
class QToolButton;

namespace tg {

class KWDWSlider;
class KWNumberEdit;
class KWRangeSlider;
class SoundFileRow;
class TGBubbleBlower;

// "BubbleBlower": the file, a range slider for each grain range, the
// density, the grid and its pull, and the grain limit.
class TBubbleBlower final : public TContraptionForm {
  Q_OBJECT

 public:
  TBubbleBlower(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  // The open button's work: asks for a file and makes it the grains' source.
  void ChooseFile();

  SoundFileRow& FileRow() const { return *fileRow_; }
  QToolButton* OpenButton() const;
  QLabel* FileNamePanel() const;
  KWRangeSlider* AmpSlider() const { return amp_; }
  KWRangeSlider* PanSlider() const { return pan_; }
  KWRangeSlider* DelaySlider() const { return inskip_; }
  KWRangeSlider* PitchSlider() const { return pitch_; }
  KWDWSlider* DensitySlider() const { return density_; }
  KWDWSlider* QuantSlider() const { return quant_; }
  QComboBox* QuantComboBox() const { return quantCombo_; }
  KWRangeSlider* GDurSlider() const { return gdur_; }
  KWRangeSlider* TrapFactSlider() const { return trapFact_; }
  KWRangeSlider* SkewSlider() const { return skew_; }
  KWNumberEdit* MaxGrainsNumberEdit() const { return maxGrains_; }
  OpenSoundFileDialog& FileDialog() { return dialog_; }

 private:
  TGBubbleBlower& processor_;
  SoundFileRow* fileRow_;
  KWRangeSlider* amp_;
  KWRangeSlider* pan_;
  KWRangeSlider* inskip_;
  KWRangeSlider* pitch_;
  KWRangeSlider* gdur_;
  KWRangeSlider* trapFact_;
  KWRangeSlider* skew_;
  KWDWSlider* density_;
  KWDWSlider* quant_;
  QComboBox* quantCombo_;
  KWNumberEdit* maxGrains_;
  OpenSoundFileDialog dialog_;
};

}  // namespace tg
