#include "contraptions/io/EngineContraptionMaker.h"

namespace tg {

const ContraptionDescriptor& SoundOutType() {
  static const ContraptionDescriptor type =
      EngineTypeDescriptor<SoundOutMaker>("SoundOut", "soundout.html", 1001);
  return type;
}

}  // namespace tg
