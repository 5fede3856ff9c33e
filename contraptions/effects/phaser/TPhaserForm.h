#pragma once

#include "forms/TSweepForm.h"

namespace tg {

// "Phaser": the sweep's frequency range, its rate, the feedback and the depth.
class TPhaserForm final : public TSweepForm {
  Q_OBJECT

 public:
  TPhaserForm(TGardeningContraption& contraption, QWidget* parent);

  KWDWSlider* DepthSlider() const { return AmountSlider(); }
};

}  // namespace tg
