#include "contraptions/effects/nastyreverb/TGCmixReverb.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& NastyReverbType() {
  static const ContraptionDescriptor type{
      .typeName = "NastyReverb",
      .category = "Effects",
      .helpNumber = 1009,
      .helpPage = "nastyreverb.html",
      .helpTitle = "NastyReverb",
      .makeMaker = OrdinaryMakers<TGCmixReverb>(),
      .ports = FixedPorts({"Mono in"}, {"Left out", "Right out"}),
      .levelParameters = {"WetDryMix"},
  };
  return type;
}

}  // namespace tg
