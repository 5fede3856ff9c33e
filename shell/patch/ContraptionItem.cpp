#include "shell/patch/ContraptionItem.h"

#include <ostream>

#include "framework/TGardeningContraption.h"

namespace tg {

void WriteContraptionItem(std::ostream& out, TGardeningContraption& c) {
  out << c.TypeName() << '\t' << c.Name() << '\t';
  c.Processor().WriteProperties(out);
  out << "\t{ ";
  for (int slot = 0; slot < TGardeningContraption::kPresetCount; ++slot) {
    if (slot > 0) out << ", ";
    c.PresetAt(slot).WriteTo(out);
  }
  out << " }{ }";
  const TContraptionFormState& s = c.WindowState();
  out << "{ " << s.nodeX << ' ' << s.nodeY << ' ' << (s.windowOpen ? 'T' : 'F') << " Z Z "
      << s.windowTop << ' ' << s.windowLeft << " Z Z Z Z  }\t";
}

}  // namespace tg
