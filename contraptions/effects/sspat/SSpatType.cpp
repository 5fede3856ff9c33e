#include "contraptions/effects/sspat/TGSSpat.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& SSpatType() {
  static const ContraptionDescriptor type{
      .typeName = "SSpat",
      .category = "Effects",
      .helpNumber = 1020,
      .helpPage = "sspat.html",
      .helpTitle = "SSpat",
      .makeMaker = OrdinaryMakers<TGSSpat>(),
      .ports = FixedPorts({"Mono in"}, {"Left out", "Right out", "Reverb send"}),
      .levelParameters = {"AmplitudeAmount", "ReverbAmount"},
  };
  return type;
}

}  // namespace tg
