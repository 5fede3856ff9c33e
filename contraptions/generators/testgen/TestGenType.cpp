#include "contraptions/generators/testgen/TGTestSignalGenerator.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& TestGenType() {
  static const ContraptionDescriptor type{
      .typeName = "TestGen",
      .category = "Signal Generators",
      .helpNumber = 1002,
      .helpPage = "testgen.html",
      .helpTitle = "TestGen",
      .makeMaker = OrdinaryMakers<TGTestSignalGenerator>(),
      .ports = FixedPorts({}, {"Mono out"}),
      .levelParameters = {"Amplitude"},
  };
  return type;
}

}  // namespace tg
