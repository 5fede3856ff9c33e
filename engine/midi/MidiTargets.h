#pragma once

#include <cstdint>
#include <vector>

namespace tg {

class QSProperty;
class QSIntProperty;
class QSRangeProperty;
class QSSignalProcessor;
class TGBassline;
class TGDrums;

// What one MIDI binding moves, found by the user-interface thread and played
// by the audio thread: the message it answers and the parameter, pattern
// bit, range end, Drums slot or Bassline it acts on, with the parameter's
// range and scale. The audio thread keeps its own state in it (pick-up, the
// two halves of a 14-bit controller).
struct MidiTarget {
  enum class Source : uint8_t { Controller7, Controller14, Note, PitchBend };
  enum class Action : uint8_t { Value, Bit, RangeLow, RangeHigh, Transpose, Pad };

  Source source = Source::Controller7;
  int channel = -1;  // 0 … 15, or -1 for any
  int number = 0;    // the controller (the upper half's, 0 … 31, for 14 bits) or note
  Action action = Action::Value;
  bool pickUp = false;
  bool momentary = false;  // notes: on while held, rather than toggled
  bool logarithmic = false;
  bool integral = false;
  bool boolean = false;
  double minimum = 0.0;
  double maximum = 1.0;
  int index = 0;  // the bit, the Drums slot, or the Bassline's root note

  QSSignalProcessor* processor = nullptr;
  QSProperty* property = nullptr;
  QSIntProperty* bits = nullptr;
  QSRangeProperty* range = nullptr;
  TGDrums* drums = nullptr;
  TGBassline* bassline = nullptr;

  // The audio thread's.
  bool alive = true;
  bool caught = false;     // pick-up: the controller has met the value
  bool setByMidi = false;  // lastSet holds what MIDI last set
  double lastSet = 0.0;
  double lastPosition = -1.0;  // the controller's, 0 … 1; negative: none yet
  int upper = 0, lower = 0;    // a 14-bit controller's halves
  bool dirty = false;

  bool Matches(int messageChannel) const { return channel < 0 || channel == messageChannel; }
};

// The targets in force, with a generation that tells one map from the next.
struct MidiTargetMap {
  uint64_t generation = 0;
  std::vector<MidiTarget> targets;
};

}  // namespace tg
