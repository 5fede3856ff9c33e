#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/midi/MidiTargets.h"
#include "shell/midi/MidiBinding.h"

namespace tg {

class TContraptionFactory;

// The bindings the audio thread plays, found among the live contraptions:
// each binding of a parameter, bit, range end, pad or transposition whose
// contraption and parameter exist becomes a target (program changes stay
// with the user-interface thread). UI thread.
struct ResolvedMidi {
  std::unique_ptr<MidiTargetMap> map;
  // For each target, the binding's place in the list it came from.
  std::vector<size_t> bindingOf;
};
ResolvedMidi ResolveMidiTargets(const MidiBindingList& bindings, const TContraptionFactory& factory,
                                uint64_t generation);

}  // namespace tg
