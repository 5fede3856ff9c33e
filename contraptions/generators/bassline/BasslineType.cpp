#include "contraptions/generators/bassline/TGBassline.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& BasslineType() {
  static const ContraptionDescriptor type{
      .typeName = "Bassline",
      .category = "Signal Generators",
      .helpNumber = 1006,
      .helpPage = "bassline.html",
      .helpTitle = "Bassline",
      .makeMaker = OrdinaryMakers<TGBassline>(),
      .ports = FixedPorts({"Filter in"}, {"Mono out"}),
      .levelParameters = {"Volume"},
  };
  return type;
}

}  // namespace tg
