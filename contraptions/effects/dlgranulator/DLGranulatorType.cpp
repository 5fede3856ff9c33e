#include "contraptions/effects/dlgranulator/TGDLGranulator.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& DLGranulatorType() {
  static const ContraptionDescriptor type{
      .typeName = "DLGranulator",
      .category = "Effects",
      .helpNumber = 1011,
      .helpPage = "dlgranulator.html",
      .helpTitle = "DLGranulator",
      .makeMaker = OrdinaryMakers<TGDLGranulator>(),
      .ports = FixedPorts({"Mono in"}, {"Left out", "Right out"}),
      .levelParameters = {"Feedback", "WetDryMix"},
  };
  return type;
}

}  // namespace tg
