#include "contraptions/io/EngineContraptionMaker.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& SoundInType() {
  static const ContraptionDescriptor type{
      .typeName = "SoundIn",
      .category = "Input / Output",
      .helpNumber = 1000,
      .helpPage = "soundin.html",
      .helpTitle = "SoundIn",
      .makeMaker = [](const ContraptionDescriptor& d, const std::string& name,
                      int) -> std::unique_ptr<TContraptionMaker> {
        return std::make_unique<SoundInMaker>(name, d.category, d.helpNumber);
      },
  };
  return type;
}

}  // namespace tg
