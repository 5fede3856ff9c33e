#include "contraptions/RegisterContraptions.h"

#include "contraptions/io/EngineContraptionMaker.h"
#include "framework/TContraptionFactory.h"

namespace tg {

void RegisterContraptionTypes(TContraptionFactory& factory) {
  // Explicit rather than by static makers: a static library drops objects
  // nobody refers to, and the order of the New menu must not depend on the
  // linker.
  factory.Emplace<SoundInMaker>();
  factory.Emplace<SoundOutMaker>();
}

}  // namespace tg
