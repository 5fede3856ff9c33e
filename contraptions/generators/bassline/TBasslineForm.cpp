#include "contraptions/generators/bassline/TBasslineForm.h"

#include "contraptions/generators/bassline/TGBassline.h"
#include "framework/TGardeningContraption.h"
#include "framework/forms/ContraptionWindowHost.h"

namespace tg {

TBasslineForm::TBasslineForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGBassline&>(contraption.Processor())) {
  setWindowTitle("kw303");
  PlaceDesigned(QSize(542, 133 + kHeaderHeight));
}

void TBasslineForm::UpdateControls() { TContraptionForm::UpdateControls(); }

void RegisterBasslineWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TBasslineForm>(type);
}

}  // namespace tg
