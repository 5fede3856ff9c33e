#pragma once

namespace tg {

class TContraptionFactory;

// Registers every contraption type, in the order of the New menu.
void RegisterContraptionTypes(TContraptionFactory& factory);

}  // namespace tg
