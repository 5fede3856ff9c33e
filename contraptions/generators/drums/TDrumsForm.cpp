#include "contraptions/generators/drums/TDrumsForm.h"

#include "contraptions/generators/drums/TGDrums.h"
#include "framework/TGardeningContraption.h"
#include "framework/forms/ContraptionWindowHost.h"

namespace tg {

TDrumsForm::TDrumsForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGDrums&>(contraption.Processor())) {
  setWindowTitle("Drums");
  PlaceDesigned(QSize(542, 133 + kHeaderHeight));
}

void TDrumsForm::UpdateControls() { TContraptionForm::UpdateControls(); }

void RegisterDrumsWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TDrumsForm>(type);
}

}  // namespace tg
