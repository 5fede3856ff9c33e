#include "contraptions/io/EngineContraptionMaker.h"

namespace tg {

const ContraptionDescriptor& SoundInType() {
  static const ContraptionDescriptor type =
      EngineTypeDescriptor<SoundInMaker>("SoundIn", "soundin.html", 1000);
  return type;
}

}  // namespace tg
