#pragma once

#include "framework/forms/TContraptionForm.h"

namespace tg {

class TGDrums;

// "Drums" (being built).
class TDrumsForm final : public TContraptionForm {
  Q_OBJECT

 public:
  TDrumsForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

 private:
  TGDrums& processor_;
};

}  // namespace tg
