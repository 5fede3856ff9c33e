#include "contraptions/effects/ringam/TGRingAM.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& RingAMType() {
  static const ContraptionDescriptor type{
      .typeName = "RingAM",
      .category = "Effects",
      .helpNumber = 1007,
      .helpPage = "ringam.html",
      .helpTitle = "RingAM",
      .makeMaker = OrdinaryMakers<TGRingAM>(),
      .ports = FixedPorts({"Signal in", "Modulator in"}, {"Signal out"}),
      .levelParameters = {"AM"},
  };
  return type;
}

}  // namespace tg
