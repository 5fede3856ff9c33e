#pragma once

#include <iosfwd>

namespace tg {

class TGardeningContraption;

// A contraption's line of a document, without its leading tab: type, name,
// values, presets and window state.
void WriteContraptionItem(std::ostream& out, TGardeningContraption& contraption);

}  // namespace tg
