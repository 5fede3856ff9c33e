#pragma once

#include <vector>

namespace tg {

class TContraptionFactory;
struct ContraptionDescriptor;

// Every contraption type (or family of types), in the order of the New menu.
const std::vector<const ContraptionDescriptor*>& ContraptionTypes();

// Registers every contraption type, in the order of the New menu.
void RegisterContraptionTypes(TContraptionFactory& factory);

}  // namespace tg
