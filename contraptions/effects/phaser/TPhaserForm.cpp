#include "contraptions/effects/phaser/TPhaserForm.h"

#include "contraptions/effects/phaser/TGPhaser.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {
TSweepForm::Parameters PhaserParameters(TGardeningContraption& contraption) {
  auto& p = static_cast<TGPhaser&>(contraption.Processor());
  return {p.minFrequency, p.maxFrequency, p.rate, p.feedback, p.depth};
}
}  // namespace

TPhaserForm::TPhaserForm(TGardeningContraption& contraption, QWidget* parent)
    : TSweepForm(contraption, parent, PhaserParameters(contraption),
                 {"Phaser", "Depth:", "Depth", 214}) {}

void RegisterPhaserWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TPhaserForm>(type);
}

}  // namespace tg
