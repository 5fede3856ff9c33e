#pragma once

#include "framework/forms/TContraptionForm.h"

namespace tg {

class TGBassline;

// "kw303" (being built).
class TBasslineForm final : public TContraptionForm {
  Q_OBJECT

 public:
  TBasslineForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

 private:
  TGBassline& processor_;
};

}  // namespace tg
