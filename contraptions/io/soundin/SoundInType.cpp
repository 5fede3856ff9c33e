#include "engine/EngineContraptionMaker.h"

namespace tg {

const ContraptionDescriptor& SoundInType() {
  static const ContraptionDescriptor type = [] {
    ContraptionDescriptor d = EngineTypeDescriptor<SoundInMaker>("SoundIn", "soundin.html", 1000);
    d.ports = FixedPorts({}, {"Left out", "Right out"});
    return d;
  }();
  return type;
}

}  // namespace tg
