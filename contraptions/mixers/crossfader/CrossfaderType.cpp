#include "contraptions/mixers/crossfader/TGCrossfader.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& CrossfaderType() {
  static const ContraptionDescriptor type{
      .typeName = "Crossfader",
      .category = "Mixers",
      .helpNumber = 1017,
      .helpPage = "crossfader.html",
      .helpTitle = "Crossfader",
      .makeMaker = OrdinaryMakers<TGCrossfader>(),
      .ports = FixedPorts({"A left in", "A right in", "B left in", "B right in"},
                          {"Left out", "Right out"}),
      .levelParameters = {"Fade"},
  };
  return type;
}

}  // namespace tg
