#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tg {

class PatchEditor;
class PatchModel;
struct PatchNode;

// Part of a patch as document text: the header, "contraptions:" with the
// selected contraptions (values, presets, window state), "connections:" with
// the wires between them, and "end". It is what the clipboard carries, so it
// reads back in another document, or after a trip through a text editor.
// Sound files keep the full names they are kept by, so they are found from
// any folder. UI thread only.
class PatchFragment {
 public:
  // Where pasted contraptions land: their group's top-left corner at a
  // point, or each moved by an offset from the place the text gives.
  struct Placement {
    bool atPoint = false;
    int x = 0;
    int y = 0;
  };
  struct Pasted {
    std::vector<PatchNode*> nodes;
    // For the status bar: what was pasted and what was left out, or why
    // nothing was.
    std::string message;
  };

  // The selected contraptions of the model and the wires between them.
  static std::string Write(const PatchModel& model);
  // Places the text's contraptions under new names with the wires between
  // them, selected, as one command ("<verb> RingAM_2", "<verb> 3
  // Contraptions"). Text that is no whole fragment (cut short, garbage, an
  // unknown type, values that cannot be read) places nothing. A SoundIn or
  // SoundOut the patch already has is left out.
  static Pasted Paste(PatchEditor& patch, std::string_view text, Placement where,
                      const std::string& verb);
};

}  // namespace tg
