#include "contraptions/effects/flanger/TGFlanger.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& FlangerType() {
  static const ContraptionDescriptor type{
      .typeName = "Flanger",
      .category = "Effects",
      .helpNumber = 1010,
      .helpPage = "flanger.html",
      .helpTitle = "Flanger",
      .makeMaker = OrdinaryMakers<TGFlanger>(),
      .ports = FixedPorts({"Mono in"}, {"Mono out"}),
      .levelParameters = {"Feedback", "WetDryMix"},
  };
  return type;
}

}  // namespace tg
