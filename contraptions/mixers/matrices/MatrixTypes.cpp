#include "contraptions/mixers/matrices/TGGateMatrix.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

const ContraptionDescriptor& Matrix8x8Type() {
  static const ContraptionDescriptor type{
      .typeName = "8x8Matrix",
      .category = "beta",
      .helpNumber = 0,
      .helpPage = "matrices.html",
      .helpTitle = "8x8Matrix",
      .makeMaker = OrdinaryMakers<TG8x8Matrix>(),
  };
  return type;
}

const ContraptionDescriptor& Matrix4x4Type() {
  static const ContraptionDescriptor type{
      .typeName = "4x4Matrix",
      .category = "beta",
      .helpNumber = 0,
      .helpPage = "matrices.html",
      .helpTitle = "4x4Matrix",
      .makeMaker = OrdinaryMakers<TG4x4Matrix>(),
  };
  return type;
}

}  // namespace tg
