#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/midi/MidiEvent.h"
#include "shell/midi/MidiBinding.h"

namespace tg {

class MidiPorts;
class PatchEditor;
struct MidiTargetMap;

// MIDI on the user-interface thread: keeps the audio thread's targets in
// step with the document's bindings, records what MIDI moved as the user's
// edits (merged like a knob drag, so one sweep is one undo), recalls presets
// and scenes on program changes, learns bindings, and plays the bound values
// back to the output port so a controller's lights and motors follow.
// Qt-free; the windowed program and tonegarden-play call Poll.
class MidiController {
 public:
  using Clock = std::chrono::steady_clock;
  // A controller's lower half comes this soon after its upper half.
  static constexpr std::chrono::milliseconds kPairWindow{60};

  MidiController(PatchEditor& patch, MidiPorts& ports);
  ~MidiController();
  MidiController(const MidiController&) = delete;
  MidiController& operator=(const MidiController&) = delete;

  // Often (every 20 ms or so) and whenever the ports' wake is signalled.
  void Poll();

  // The next fitting message binds the target: a controller (7 or 14
  // bits), a note or pitch bend for a value, a program change for presets,
  // a note for a pad or a transposition's root. Its binding before is replaced.
  // A control of a logarithmic scale says so.
  void Learn(const MidiTargetSpec& target, bool logarithmic = false);
  void CancelLearn();
  const std::optional<MidiTargetSpec>& Learning() const { return learning_; }
  // Whether MIDI Learn mode is on: a click on a control learns it.
  bool LearnMode() const { return learnMode_; }
  void SetLearnMode(bool on);

  const MidiBinding* BindingOf(const MidiTargetSpec& target) const;
  // Each an undoable edit of the document.
  bool Forget(const MidiTargetSpec& target);
  void SetPickUp(const MidiTargetSpec& target, bool on);
  void Bind(const MidiBinding& binding);
  // A Drums' five slots as pads on notes 36 … 40 of any channel.
  void BindPads(const std::string& drums);
  // A Bassline transposed by any channel's notes around root 60.
  void BindTransposition(const std::string& bassline);

  // What to tell the user (learned, forgotten, a port's trouble).
  void SetMessageHandler(std::function<void(const std::string&)> handler);
  // After a binding was learned or learning ended.
  void SetLearnHandler(std::function<void()> handler) { learnHandler_ = std::move(handler); }

  MidiPorts& Ports() { return ports_; }
  PatchEditor& Patch() { return patch_; }
  // The last program change's way from its time to its recall, in nanoseconds.
  int64_t LastProgramDelay() const { return lastProgramDelay_; }

 private:
  void Resolve();
  void TakeChanges();
  // Whether the message was taken for the target being learned.
  bool Learned(const MidiEvent& event);
  void Commit(MidiBinding binding);
  void EndLearning();
  void ProgramChange(const MidiEvent& event);
  void SendFeedback();
  int FeedbackCode(size_t target) const;
  // What the clock following MIDI has to tell (lost, a tempo held).
  void SayClockNotices();
  void Say(const std::string& text) const;

  PatchEditor& patch_;
  MidiPorts& ports_;
  uint64_t generation_ = 0;
  MidiTargetMap* current_ = nullptr;  // the engine's, read for its settings only
  std::vector<size_t> bindingOf_;
  std::vector<int> lastSent_;
  std::optional<MidiTargetSpec> learning_;
  bool learningLogarithmic_ = false;
  bool learnMode_ = false;
  std::optional<MidiEvent> upperHalf_;
  Clock::time_point upperHalfSeen_{};
  int64_t lastProgramDelay_ = 0;
  std::function<void(const std::string&)> message_;
  std::function<void()> learnHandler_;
};

}  // namespace tg
