#pragma once

#include "forms/TContraptionForm.h"

namespace tg {

class KWDWSlider;
class KWRangeSlider;
class TGPhaser;

// "Phaser": the sweep's frequency range, its rate, the feedback and the depth.
class TPhaserForm final : public TContraptionForm {
  Q_OBJECT

 public:
  TPhaserForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  KWRangeSlider* RangeSlider() const { return range_; }
  KWDWSlider* RateSlider() const { return rate_; }
  KWDWSlider* FeedbackSlider() const { return feedback_; }
  KWDWSlider* DepthSlider() const { return depth_; }

 private:
  TGPhaser& processor_;
  KWRangeSlider* range_;
  KWDWSlider* rate_;
  KWDWSlider* feedback_;
  KWDWSlider* depth_;
};

}  // namespace tg
