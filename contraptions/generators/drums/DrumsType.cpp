#include "contraptions/generators/drums/TGDrums.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& DrumsType() {
  static const ContraptionDescriptor type{
      .typeName = "Drums",
      .category = "Signal Generators",
      .helpNumber = 1004,
      .helpPage = "drums.html",
      .helpTitle = "Drums",
      .makeMaker = OrdinaryMakers<TGDrums>(),
      .ports = FixedPorts({}, {"Mono out"}),
  };
  return type;
}

}  // namespace tg
