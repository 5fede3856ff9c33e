#include <type_traits>

#include "contraptions/mixers/FamilySizes.h"
#include "contraptions/mixers/busses/TBussMaker.h"
#include "contraptions/mixers/busses/TGBusses.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

namespace {

template <typename Buss>
ContraptionDescriptor BussFamily(const char* typeName, const char* title) {
  return {.typeName = typeName,
          .category = "Busses",
          .helpPage = "busses.html",
          .helpTitle = title,
          .sizes = SizesOf(kFamilySizes),
          .makeMaker = [](const ContraptionDescriptor& d, const std::string& name,
                          int size) -> std::unique_ptr<TContraptionMaker> {
            return std::make_unique<TBussMaker<Buss>>(name, d.category, size);
          },
          .ports =
              [](int size) {
                if constexpr (std::is_same_v<Buss, TGStereoBuss>)
                  return PortNames{ChannelInletNames(size, true), {"Left out", "Right out"}};
                return PortNames{ChannelInletNames(size, false), {"Mono out"}};
              }};
}

}  // namespace

const ContraptionDescriptor& MonoBussesType() {
  static const ContraptionDescriptor type = BussFamily<TGMonoBuss>("M%dBuss", "mono busses");
  return type;
}

const ContraptionDescriptor& StereoBussesType() {
  static const ContraptionDescriptor type = BussFamily<TGStereoBuss>("S%dBuss", "stereo busses");
  return type;
}

}  // namespace tg
