#include "contraptions/effects/phaser/TGPhaser.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& PhaserType() {
  static const ContraptionDescriptor type{
      .typeName = "Phaser",
      .category = "Effects",
      .helpNumber = 0,
      .helpPage = "phaser.html",
      .helpTitle = "Phaser",
      .makeMaker = OrdinaryMakers<TGPhaser>(),
      .ports = FixedPorts({"Mono in"}, {"Mono out"}),
      .levelParameters = {"Feedback", "Depth"},
  };
  return type;
}

}  // namespace tg
