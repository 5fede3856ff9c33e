#pragma once

#include <string>
#include <vector>

namespace tg {

class TGardeningContraption;

// What an edit of one contraption can change, as text: every parameter, every
// preset slot, the current preset and the editor window's place. The node's
// place is not in it (node moves are their own step).
struct ContraptionSnapshot {
  std::vector<std::string> parameters;
  std::vector<std::string> presets;
  int currentPreset = -1;
  bool windowOpen = false;
  int windowTop = 0;
  int windowLeft = 0;

  static ContraptionSnapshot Of(TGardeningContraption& contraption);
  // Sets only what differs from the contraption's present state, each value
  // through its parameter as a knob sets it, so a change while playing is
  // smoothed as the knob's would be. Opens or closes the window as needed.
  void ApplyTo(TGardeningContraption& contraption) const;
  // The indices of the parameters that differ between two snapshots.
  std::vector<int> ChangedParameters(const ContraptionSnapshot& other) const;
  bool operator==(const ContraptionSnapshot&) const = default;
};

}  // namespace tg
