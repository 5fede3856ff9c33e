#pragma once

#include "forms/TContraptionForm.h"

namespace tg {

class KWDWSlider;
class KWRangeSlider;
class TGFlanger;

// "Flanger": the sweep's frequency range, its rate, the feedback and the mix.
class TFlangerForm final : public TContraptionForm {
  Q_OBJECT

 public:
  TFlangerForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  KWRangeSlider* RangeSlider() const { return range_; }
  KWDWSlider* RateSlider() const { return rate_; }
  KWDWSlider* FeedbackSlider() const { return feedback_; }
  KWDWSlider* WetnessSlider() const { return wetness_; }

 private:
  TGFlanger& processor_;
  KWRangeSlider* range_;
  KWDWSlider* rate_;
  KWDWSlider* feedback_;
  KWDWSlider* wetness_;
};

}  // namespace tg
