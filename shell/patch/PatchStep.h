#pragma once

#include <string>

#include "shell/patch/ContraptionSnapshot.h"

namespace tg {

// One reversible change of the patch. Contraptions are named, not pointed
// at: undoing a deletion makes a new object under the old name.
struct PatchStep {
  enum class Kind {
    Place,       // item placed at node position index
    Remove,      // the reverse of Place
    Connect,     // wire placed at connection position index
    Disconnect,  // the reverse of Connect
    Move,        // a node from (fromX, fromY) to (toX, toY)
    State,       // a contraption's values from before to after
    Tempo,       // from tempoBefore to tempoAfter
    Layout,      // the pane layout from before to after
    Bindings,    // the MIDI bindings from bindings to bindingsAfter
    Rename,      // a contraption from the name source to the name destination
  };
  struct PaneLayout {
    int paneWidth = 0;
    bool patcherShown = true;
    bool propertiesShown = true;
    bool operator==(const PaneLayout&) const = default;
  };

  Kind kind = Kind::State;
  int index = -1;
  // Place, Remove: the contraption's document line (type, name, values,
  // presets and window state).
  std::string item;
  // Connect, Disconnect: the wire; Move, State: the contraption; Rename:
  // the names before (source) and after (destination).
  std::string source;
  int outlet = 0;
  std::string destination;
  int inlet = 0;
  int fromX = 0, fromY = 0, toX = 0, toY = 0;
  ContraptionSnapshot before, after;
  double tempoBefore = 0.0, tempoAfter = 0.0;
  PaneLayout layoutBefore, layoutAfter;
  // Place, Remove: the contraption's MIDI bindings, each document line after
  // its place in the list.
  // Bindings: every binding before (bindings) and after (bindingsAfter).
  std::string bindings, bindingsAfter;

  // The step that takes the patch back.
  PatchStep Inverse() const;
};

}  // namespace tg
