#include "contraptions/io/EngineContraptionMaker.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& SoundOutType() {
  static const ContraptionDescriptor type{
      .typeName = "SoundOut",
      .category = "Input / Output",
      .helpNumber = 1001,
      .helpPage = "soundout.html",
      .helpTitle = "SoundOut",
      .makeMaker = [](const ContraptionDescriptor& d, const std::string& name,
                      int) -> std::unique_ptr<TContraptionMaker> {
        return std::make_unique<SoundOutMaker>(name, d.category, d.helpNumber);
      },
  };
  return type;
}

}  // namespace tg
