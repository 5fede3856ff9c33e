#pragma once

#include "forms/TSweepForm.h"

namespace tg {

// "Flanger": the sweep's frequency range, its rate, the feedback and the mix.
class TFlangerForm final : public TSweepForm {
  Q_OBJECT

 public:
  TFlangerForm(TGardeningContraption& contraption, QWidget* parent);

  KWDWSlider* WetnessSlider() const { return AmountSlider(); }
};

}  // namespace tg
