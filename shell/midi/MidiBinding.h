#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tg {

// What a control of a contraption's window edits, as MIDI can reach it: a
// parameter, one bit of a pattern (a step-grid cell), one end of a range,
// the presets of one contraption, the presets of every contraption at once
// (a scene), a Bassline's live transposition, or one Drums slot as a pad.
// Contraptions and parameters are named, never pointed at, so a binding
// outlives the objects and follows a rename.
struct MidiTargetSpec {
  enum class Kind { Value, Bit, RangeLow, RangeHigh, Presets, Scene, Transpose, Pad };

  Kind kind = Kind::Value;
  std::string contraption;  // empty for a scene
  std::string parameter;    // Value, Bit, RangeLow, RangeHigh
  int index = 0;            // Bit: the bit; Pad: the slot (0 … 4)

  bool operator==(const MidiTargetSpec&) const = default;
  // "Bassline_1: CutoffFreq", "Drums_1: pad 2", "every contraption's presets".
  std::string Description() const;
};

// One MIDI binding: which messages move which target, and how.
struct MidiBinding {
  enum class Source { Controller7, Controller14, Note, PitchBend, Program };

  static constexpr int kAnyChannel = -1;
  static constexpr int kDefaultRoot = 60;
  static constexpr int kFirstPadNote = 36;

  MidiTargetSpec target;
  Source source = Source::Controller7;
  int channel = kAnyChannel;  // 0 … 15, or any
  // The controller (the upper half's, 0 … 31, for 14 bits), the note (a pad's
  // or a toggle's), or a Bassline's root note; nothing for pitch bend and
  // program changes.
  int number = 0;
  bool pickUp = false;     // a controller moves the value only once it meets it
  bool momentary = false;  // a note holds the value on while it is held
  // The control's scale is logarithmic (frequencies are so in any case).
  bool logarithmic = false;

  bool operator==(const MidiBinding&) const = default;
  // "CC 74", "CC 7/39 (14-bit)", "note 36", "pitch bend", "program change",
  // with " on channel 3" or " on any channel".
  std::string SourceText() const;
  // One line of a document's "midi:" section, without the leading tab.
  std::string ToLine() const;
  // The reverse; nothing for a line that is no binding.
  static std::optional<MidiBinding> FromLine(std::string_view line);
};

// Every binding of a document, in the order they were made.
class MidiBindingList {
 public:
  // Far more than a stage rig has controls; a document cannot ask for more.
  static constexpr size_t kMaxBindings = 4096;

  const std::vector<MidiBinding>& All() const { return bindings_; }
  bool Empty() const { return bindings_.empty(); }
  size_t Size() const { return bindings_.size(); }
  // False when the list is full.
  bool Add(MidiBinding binding);
  // Learning a target anew replaces its binding: one control, one binding.
  void Replace(MidiBinding binding);
  // Removes every binding of the target; false when there was none.
  bool Forget(const MidiTargetSpec& target);
  const MidiBinding* Find(const MidiTargetSpec& target) const;
  MidiBinding* Find(const MidiTargetSpec& target);

  // The bindings of one contraption, each line after its place in the list
  // (a deletion keeps them so for its undo); removing them; putting them
  // back where they were; following a new name.
  std::string PlacedLinesOf(const std::string& contraption) const;
  bool RemoveOf(const std::string& contraption);
  void InsertPlacedLines(const std::string& lines);
  // Lines that are no binding are skipped and counted.
  int AddLines(const std::string& lines);
  bool Rename(const std::string& from, const std::string& to);

  // The whole list as lines, and back.
  std::string Lines() const;
  static MidiBindingList FromLines(const std::string& lines);

  bool operator==(const MidiBindingList&) const = default;

 private:
  std::vector<MidiBinding> bindings_;
};

}  // namespace tg
