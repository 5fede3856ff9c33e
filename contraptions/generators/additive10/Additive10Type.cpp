#include "contraptions/generators/additive10/TGAdditive10.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& Additive10Type() {
  static const ContraptionDescriptor type{
      .typeName = "10Harmonics",
      .category = "Signal Generators",
      .helpNumber = 1005,
      .helpPage = "additive10.html",
      .helpTitle = "10Harmonics",
      .makeMaker = OrdinaryMakers<TGAdditive10>(),
      .ports = FixedPorts({}, {"Mono out"}),
  };
  return type;
}

}  // namespace tg
