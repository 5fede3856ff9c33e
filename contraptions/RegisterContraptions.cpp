#include "contraptions/RegisterContraptions.h"

#include <cstdio>
#include <string>
#include <utility>

#include "contraptions/effects/sdelay/TGSDelay.h"
#include "contraptions/generators/testgen/TGTestSignalGenerator.h"
#include "contraptions/io/EngineContraptionMaker.h"
#include "contraptions/mixers/busses/TBussMaker.h"
#include "contraptions/mixers/busses/TGBusses.h"
#include "contraptions/mixers/mixers/TGMixers.h"
#include "framework/TContraptionFactory.h"

namespace tg {

namespace {

constexpr int kFamilySizes[] = {2, 3, 4, 6, 8, 12};

// "S12Mixer", "M2Buss" and the like.
std::string FamilyName(char family, int size, const char* kind) {
  char name[32];
  std::snprintf(name, sizeof name, "%c%d%s", family, size, kind);
  return name;
}

template <template <int> class Mixer, int... Sizes>
void RegisterMixers(TContraptionFactory& factory, char family, int helpNumber,
                    std::integer_sequence<int, Sizes...>) {
  (factory.Emplace<TMakerTemplate<Mixer<Sizes>>>(FamilyName(family, Sizes, "Mixer"), "Mixers",
                                                 helpNumber, false),
   ...);
}

using Sizes = std::integer_sequence<int, 2, 3, 4, 6, 8, 12>;

}  // namespace

void RegisterContraptionTypes(TContraptionFactory& factory) {
  // Explicit rather than by static makers: a static library drops objects
  // nobody refers to, and the order of the New menu must not depend on the
  // linker. Types that do not exist yet keep their places empty.
  factory.Emplace<SoundInMaker>();
  factory.Emplace<TMakerTemplate<TGTestSignalGenerator>>("TestGen", "Signal Generators", 1002,
                                                         false);
  for (int n : kFamilySizes) factory.Emplace<TBussMaker<TGMonoBuss>>(FamilyName('M', n, "Buss"), n);
  for (int n : kFamilySizes)
    factory.Emplace<TBussMaker<TGStereoBuss>>(FamilyName('S', n, "Buss"), n);
  factory.Emplace<TMakerTemplate<TGSDelay>>("SDelay", "Effects", 1008, false);
  RegisterMixers<TGSMixer>(factory, 'S', 1014, Sizes{});
  RegisterMixers<TGPMixer>(factory, 'P', 1015, Sizes{});
  RegisterMixers<TGMMixer>(factory, 'M', 1016, Sizes{});
  factory.Emplace<SoundOutMaker>();
}

}  // namespace tg
