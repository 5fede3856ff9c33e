#include "contraptions/generators/bubbleblower/TGBubbleBlower.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& BubbleBlowerType() {
  static const ContraptionDescriptor type{
      .typeName = "BubbleBlower",
      .category = "beta",
      .helpNumber = 0,
      .helpPage = "bubbleblower.html",
      .helpTitle = "BubbleBlower",
      .makeMaker = OrdinaryMakers<TGBubbleBlower>(),
      .ports = FixedPorts({}, {"Left out", "Right out"}),
  };
  return type;
}

}  // namespace tg
