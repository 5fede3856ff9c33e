#include "contraptions/mixers/FamilySizes.h"
#include "contraptions/mixers/mixers/TGMixers.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

namespace {

ContraptionDescriptor MixerFamily(const char* typeName, int helpNumber, const char* title) {
  return {.typeName = typeName,
          .category = "Mixers",
          .helpNumber = helpNumber,
          .helpPage = "mixers.html",
          .helpTitle = title,
          .sizes = SizesOf(kFamilySizes)};
}

}  // namespace

const ContraptionDescriptor& StereoMixersType() {
  static const ContraptionDescriptor type = [] {
    ContraptionDescriptor d = MixerFamily("S%dMixer", 1014, "S mixers (stereo)");
    d.makeMaker = FamilyMakers<TGSMixer>(kFamilySizes);
    d.ports = [](int size) {
      return PortNames{ChannelInletNames(size, true), {"Left out", "Right out"}};
    };
    return d;
  }();
  return type;
}

const ContraptionDescriptor& PanPotMixersType() {
  static const ContraptionDescriptor type = [] {
    ContraptionDescriptor d = MixerFamily("P%dMixer", 1015, "P mixers (pan-pot)");
    d.makeMaker = FamilyMakers<TGPMixer>(kFamilySizes);
    d.ports = [](int size) {
      return PortNames{ChannelInletNames(size, false), {"Left out", "Right out"}};
    };
    return d;
  }();
  return type;
}

const ContraptionDescriptor& MonoMixersType() {
  static const ContraptionDescriptor type = [] {
    ContraptionDescriptor d = MixerFamily("M%dMixer", 1016, "M mixers (mono)");
    d.makeMaker = FamilyMakers<TGMMixer>(kFamilySizes);
    d.ports = [](int size) { return PortNames{ChannelInletNames(size, false), {"Mono out"}}; };
    return d;
  }();
  return type;
}

}  // namespace tg
