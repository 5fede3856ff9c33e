#include "shell/RegisterContraptions.h"

#include "framework/ContraptionDescriptor.h"
#include "framework/TContraptionFactory.h"

// The contraption types in the New menu's order, in one place. Each entry
// names the descriptor `<Name>Type()` that the type's folder defines.
// Explicit rather than by static makers: a static library drops objects
// nobody refers to, and the order must not depend on the linker.
#define TONEGARDEN_CONTRAPTION_TYPES(TYPE) \
  TYPE(SoundIn)                            \
  TYPE(TestGen)                            \
  TYPE(LoopPlayer)                         \
  TYPE(Drums)                              \
  TYPE(Additive10)                         \
  TYPE(Bassline)                           \
  TYPE(MonoBusses)                         \
  TYPE(StereoBusses)                       \
  TYPE(RingAM)                             \
  TYPE(SDelay)                             \
  TYPE(NastyReverb)                        \
  TYPE(SSpat)                              \
  TYPE(FiveCombs)                          \
  TYPE(Flanger)                            \
  TYPE(DLGranulator)                       \
  TYPE(Phaser)                             \
  TYPE(MParaEQ)                            \
  TYPE(SParaEQ)                            \
  TYPE(StereoMixers)                       \
  TYPE(PanPotMixers)                       \
  TYPE(MonoMixers)                         \
  TYPE(Crossfader)                         \
  TYPE(BubbleBlower)                       \
  TYPE(Matrix8x8)                          \
  TYPE(Matrix4x4)                          \
  TYPE(SoundOut)

namespace tg {

#define TONEGARDEN_DECLARE(Name) const ContraptionDescriptor& Name##Type();
TONEGARDEN_CONTRAPTION_TYPES(TONEGARDEN_DECLARE)
#undef TONEGARDEN_DECLARE

const std::vector<const ContraptionDescriptor*>& ContraptionTypes() {
#define TONEGARDEN_LIST(Name) &Name##Type(),
  static const std::vector<const ContraptionDescriptor*> types{
      TONEGARDEN_CONTRAPTION_TYPES(TONEGARDEN_LIST)};
#undef TONEGARDEN_LIST
  return types;
}

void RegisterContraptionTypes(TContraptionFactory& factory) {
  for (const ContraptionDescriptor* type : ContraptionTypes()) factory.Register(*type);
}

}  // namespace tg
