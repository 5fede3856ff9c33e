#include "framework/ContraptionDescriptor.h"

namespace tg {

std::string ContraptionDescriptor::TypeNameFor(int size) const {
  const size_t at = typeName.find("%d");
  if (at == std::string::npos) return typeName;
  return typeName.substr(0, at) + std::to_string(size) + typeName.substr(at + 2);
}

std::vector<std::string> ContraptionDescriptor::TypeNames() const {
  if (sizes.empty()) return {typeName};
  std::vector<std::string> names;
  names.reserve(sizes.size());
  for (int size : sizes) names.push_back(TypeNameFor(size));
  return names;
}

}  // namespace tg
