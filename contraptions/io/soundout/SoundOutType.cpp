#include "engine/EngineContraptionMaker.h"

namespace tg {

const ContraptionDescriptor& SoundOutType() {
  static const ContraptionDescriptor type = [] {
    ContraptionDescriptor d =
        EngineTypeDescriptor<SoundOutMaker>("SoundOut", "soundout.html", 1001);
    d.ports = FixedPorts({"Left in", "Right in"}, {});
    return d;
  }();
  return type;
}

}  // namespace tg
