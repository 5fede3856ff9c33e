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
  };
  return type;
}

}  // namespace tg
