#include "contraptions/filters/combs5/TG5Combs.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& FiveCombsType() {
  static const ContraptionDescriptor type{
      .typeName = "5Combs",
      .category = "Filters",
      .helpNumber = 1012,
      .helpPage = "combs5.html",
      .helpTitle = "5Combs",
      .makeMaker = OrdinaryMakers<TG5Combs>(),
      .ports = FixedPorts({"Mono in"}, {"Mono out"}),
  };
  return type;
}

}  // namespace tg
