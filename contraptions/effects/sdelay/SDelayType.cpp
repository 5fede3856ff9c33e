#include "contraptions/effects/sdelay/TGSDelay.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& SDelayType() {
  static const ContraptionDescriptor type{
      .typeName = "SDelay",
      .category = "Effects",
      .helpNumber = 1008,
      .helpPage = "sdelay.html",
      .helpTitle = "SDelay",
      .makeMaker = OrdinaryMakers<TGSDelay>(),
      .ports = FixedPorts({"Left in", "Right in"}, {"Left out", "Right out"}),
      .levelParameters = {"Feedback", "WetDryMix"},
  };
  return type;
}

}  // namespace tg
