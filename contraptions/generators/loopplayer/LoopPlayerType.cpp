#include "contraptions/generators/loopplayer/TGLoopPlayer.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& LoopPlayerType() {
  static const ContraptionDescriptor type{
      .typeName = "LoopPlayer",
      .category = "Signal Generators",
      .helpNumber = 1003,
      .helpPage = "loopplayer.html",
      .helpTitle = "LoopPlayer",
      .makeMaker = OrdinaryMakers<TGLoopPlayer>(),
      .ports = FixedPorts({}, {"Left out", "Right out"}),
      .levelParameters = {"Mute"},
  };
  return type;
}

}  // namespace tg
