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
  };
  return type;
}

}  // namespace tg
