#include "shell/patch/ContraptionSnapshot.h"

#include <sstream>

#include "framework/QSPreset.h"
#include "framework/QSSignalProcessor.h"
#include "framework/TGardeningContraption.h"
#include "properties/QSPropertyTable.h"

namespace tg {

ContraptionSnapshot ContraptionSnapshot::Of(TGardeningContraption& contraption) {
  ContraptionSnapshot s;
  QSPropertyTable* table = contraption.Processor().GetPropertyTable();
  for (int i = 0; table != nullptr && i < table->Count(); ++i) {
    // A state moves by itself (a playing file's position) and a command is
    // carried out (a take): neither is an edit, and undoing must not redo them.
    std::ostringstream text;
    const QSPropertyInfo& info = table->InfoAt(i);
    if (!info.isState && !info.isCommand) table->PropertyAt(i).WriteTo(text);
    s.parameters.push_back(text.str());
  }
  for (int slot = 0; slot < TGardeningContraption::kPresetCount; ++slot) {
    std::ostringstream text;
    contraption.PresetAt(slot).WriteTo(text);
    s.presets.push_back(text.str());
  }
  s.currentPreset = contraption.CurrentPreset();
  const TContraptionFormState& w = contraption.WindowState();
  s.windowOpen = w.windowOpen;
  s.windowTop = w.windowTop;
  s.windowLeft = w.windowLeft;
  return s;
}

void ContraptionSnapshot::ApplyTo(TGardeningContraption& contraption) const {
  const ContraptionSnapshot now = Of(contraption);
  QSPropertyTable* table = contraption.Processor().GetPropertyTable();
  for (int i : ChangedParameters(now)) {
    std::istringstream text(parameters[static_cast<size_t>(i)]);
    table->PropertyAt(i).ReadFrom(text);
  }
  for (size_t slot = 0; slot < presets.size() && slot < now.presets.size(); ++slot) {
    if (presets[slot] == now.presets[slot]) continue;
    std::istringstream text(presets[slot]);
    contraption.PresetAt(static_cast<int>(slot)).ReadFrom(text);
  }
  TContraptionFormState& w = contraption.WindowState();
  if (windowOpen != now.windowOpen) {
    if (windowOpen) {
      w.windowPlaced = true;
      contraption.ShowWindow();
    } else {
      contraption.CloseWindow();
    }
  }
  // After the window: opening and closing one counts as a change of sound.
  contraption.SetCurrentPreset(currentPreset);
  w.windowTop = windowTop;
  w.windowLeft = windowLeft;
  contraption.WindowStateRestored();
}

std::vector<int> ContraptionSnapshot::ChangedParameters(const ContraptionSnapshot& other) const {
  std::vector<int> changed;
  for (size_t i = 0; i < parameters.size() && i < other.parameters.size(); ++i) {
    if (parameters[i] != other.parameters[i]) changed.push_back(static_cast<int>(i));
  }
  return changed;
}

}  // namespace tg
