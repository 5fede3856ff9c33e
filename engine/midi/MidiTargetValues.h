#pragma once

#include "engine/midi/MidiTargets.h"

namespace tg::miditargetvalues {

// A controller's position (0 … 1) as the target's value: along its range,
// logarithmically for frequencies, whole for integers, on or off for
// switches and pattern bits.
double ValueAt(const MidiTarget& target, double position);
// The reverse: where a value stands on the controller.
double PositionOf(const MidiTarget& target, double value);
// What the target holds now (any thread: the values are atomics).
double CurrentValue(const MidiTarget& target);
// Sets it as a control of its window would (audio thread, or UI thread).
void SetValue(MidiTarget& target, double value);

}  // namespace tg::miditargetvalues
