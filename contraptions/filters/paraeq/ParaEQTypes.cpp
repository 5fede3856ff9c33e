#include "contraptions/filters/paraeq/TGParametric.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& MParaEQType() {
  static const ContraptionDescriptor type{
      .typeName = "MParaEQ",
      .category = "Filters",
      .helpNumber = 1013,
      .helpPage = "paraeq.html",
      .helpTitle = "ParaEQ (mono and stereo)",
      .makeMaker = OrdinaryMakers<TGMonoParametric>(),
      .ports = FixedPorts({"Mono in"}, {"Mono out"}),
  };
  return type;
}

const ContraptionDescriptor& SParaEQType() {
  static const ContraptionDescriptor type{
      .typeName = "SParaEQ",
      .category = "Filters",
      .helpNumber = 1013,
      .helpPage = "paraeq.html",
      .helpTitle = "ParaEQ (mono and stereo)",
      .makeMaker = OrdinaryMakers<TGStereoParametric>(),
      .ports = FixedPorts({"Left in", "Right in"}, {"Left out", "Right out"}),
  };
  return type;
}

}  // namespace tg
