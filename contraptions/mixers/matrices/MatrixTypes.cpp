#include "contraptions/mixers/matrices/TGGateMatrix.h"
#include "framework/ContraptionDescriptor.h"

namespace tg {

namespace {

// Input k feeds the gates of row k; output k sums column k.
std::function<PortNames(int)> MatrixPorts(int size) {
  std::vector<std::string> inlets, outlets;
  for (int k = 1; k <= size; ++k) {
    const std::string number = std::to_string(k);
    inlets.push_back(std::string("Input ").append(number));
    outlets.push_back(std::string("Output ").append(number));
  }
  return FixedPorts(std::move(inlets), std::move(outlets));
}

}  // namespace

const ContraptionDescriptor& Matrix8x8Type() {
  static const ContraptionDescriptor type{
      .typeName = "8x8Matrix",
      .category = "beta",
      .helpNumber = 0,
      .helpPage = "matrices.html",
      .helpTitle = "8x8Matrix",
      .makeMaker = OrdinaryMakers<TG8x8Matrix>(),
      .ports = MatrixPorts(8),
      .levelParameters = {"Gate*"},
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
      .ports = MatrixPorts(4),
      .levelParameters = {"Gate*"},
  };
  return type;
}

}  // namespace tg
