#include "shell/midi/MidiController.h"

#include <algorithm>
#include <cmath>

#include "engine/TAudioEngineModule.h"
#include "engine/midi/MidiPorts.h"
#include "engine/midi/MidiTargetValues.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "properties/NumberText.h"
#include "shell/midi/MidiResolver.h"
#include "shell/patch/PatchEditor.h"

namespace tg {

MidiController::MidiController(PatchEditor& patch, MidiPorts& ports)
    : patch_(patch), ports_(ports) {
  patch_.SetBindingsChangedHandler([this] { Resolve(); });
  Resolve();
}

MidiController::~MidiController() {
  patch_.SetBindingsChangedHandler(nullptr);
  ports_.Input().SetWatching(false);
  current_ = nullptr;
  patch_.Engine().SetMidiTargets(nullptr);
}

void MidiController::SetMessageHandler(std::function<void(const std::string&)> handler) {
  message_ = handler;
  ports_.SetMessageHandler(std::move(handler));
}

void MidiController::Say(const std::string& text) const {
  if (message_) message_(text);
}

void MidiController::SayClockNotices() {
  MidiClockSync::Notice notice;
  while (patch_.Engine().ClockSync().TakeNotice(notice)) {
    if (const std::string text = MidiClockSync::NoticeText(notice); !text.empty()) Say(text);
  }
}

void MidiController::Resolve() {
  ResolvedMidi resolved =
      ResolveMidiTargets(patch_.Bindings(), patch_.Engine().Factory(), ++generation_);
  current_ = resolved.map.get();
  bindingOf_ = std::move(resolved.bindingOf);
  lastSent_.assign(bindingOf_.size(), -1);
  // The map before is freed here, after the engine lock is let go.
  patch_.Engine().SetMidiTargets(std::move(resolved.map));
}

void MidiController::Poll() {
  ports_.Poll();
  SayClockNotices();
  patch_.Engine().StartStopTransportWithClock();
  MidiEvent event;
  // An export never hears a program change: it waits until the export is over.
  while (!patch_.Engine().Exporting() && ports_.Input().TakeForUi(event)) {
    const bool learned = learning_ && Learned(event);
    if (!learned && event.Kind() == MidiEvent::kProgram) ProgramChange(event);
  }
  // A lone upper half was a 7-bit controller after all.
  if (learning_ && upperHalf_ && Clock::now() - upperHalfSeen_ > kPairWindow) {
    MidiBinding b;
    b.target = *learning_;
    b.channel = upperHalf_->Channel();
    b.number = upperHalf_->data1;
    upperHalf_.reset();
    Commit(b);
  }
  patch_.Engine().ApplyMidiWhileStopped();
  TakeChanges();
  SendFeedback();
}

void MidiController::TakeChanges() {
  std::vector<const QSSignalProcessor*> moved;
  MidiDispatcher::Change change;
  while (patch_.Engine().TakeMidiChange(change)) {
    // What MIDI set is not played back to it.
    if (change.generation == generation_ && change.target >= 0 &&
        static_cast<size_t>(change.target) < lastSent_.size())
      lastSent_[static_cast<size_t>(change.target)] =
          FeedbackCode(static_cast<size_t>(change.target));
    if (std::find(moved.begin(), moved.end(), change.processor) == moved.end())
      moved.push_back(change.processor);
  }
  for (const QSSignalProcessor* processor : moved) {
    for (TGardeningContraption* c : patch_.Engine().Factory().Contraptions()) {
      if (&c->Processor() != processor) continue;
      // The user's edit, as a knob's: recorded, merged with the next moments of the sweep.
      c->MarkChanged();
      c->WindowStateRestored();
      break;
    }
  }
}

void MidiController::Learn(const MidiTargetSpec& target, bool logarithmic) {
  learning_ = target;
  learningLogarithmic_ = logarithmic;
  upperHalf_.reset();
  ports_.Input().SetWatching(true);
  const bool program =
      target.kind == MidiTargetSpec::Kind::Presets || target.kind == MidiTargetSpec::Kind::Scene;
  const bool note =
      target.kind == MidiTargetSpec::Kind::Transpose || target.kind == MidiTargetSpec::Kind::Pad;
  Say(std::string(program ? "Send a MIDI program change"
                  : note  ? "Play a MIDI note"
                          : "Move a MIDI controller") +
      " for " + target.Description());
}

void MidiController::CancelLearn() {
  if (!learning_) return;
  EndLearning();
  Say("MIDI learning cancelled");
}

void MidiController::EndLearning() {
  learning_.reset();
  upperHalf_.reset();
  ports_.Input().SetWatching(learnMode_);
  if (learnHandler_) learnHandler_();
}

void MidiController::SetLearnMode(bool on) {
  learnMode_ = on;
  if (!on) {
    learning_.reset();
    upperHalf_.reset();  // a half waiting binds nothing any more
  }
  ports_.Input().SetWatching(on || learning_.has_value());
  Say(on ? "MIDI Learn: click a control, then move a MIDI controller" : "MIDI Learn is off");
}

bool MidiController::Learned(const MidiEvent& e) {
  using Kind = MidiTargetSpec::Kind;
  MidiBinding b;
  b.target = *learning_;
  b.channel = e.Channel();
  switch (b.target.kind) {
    case Kind::Presets:
    case Kind::Scene:
      if (e.Kind() != MidiEvent::kProgram) return false;
      b.source = MidiBinding::Source::Program;
      break;
    case Kind::Transpose:
    case Kind::Pad:
      if (!e.IsNoteOn()) return false;
      b.source = MidiBinding::Source::Note;
      b.number = e.data1;
      break;
    default:
      if (e.Kind() == MidiEvent::kController) {
        if (upperHalf_) {
          const MidiEvent upper = *upperHalf_;
          upperHalf_.reset();
          b.channel = upper.Channel();
          b.number = upper.data1;
          // The lower half right after the upper: a 14-bit controller.
          if (e.Channel() == upper.Channel() && e.data1 == upper.data1 + 32)
            b.source = MidiBinding::Source::Controller14;
          break;
        }
        if (e.data1 < 32) {
          upperHalf_ = e;
          upperHalfSeen_ = Clock::now();
          return true;
        }
        b.number = e.data1;
      } else if (e.IsNoteOn()) {
        b.source = MidiBinding::Source::Note;
        b.number = e.data1;
      } else if (e.Kind() == MidiEvent::kPitchBend) {
        b.source = MidiBinding::Source::PitchBend;
      } else {
        return false;
      }
      break;
  }
  Commit(b);
  return true;
}

void MidiController::Commit(MidiBinding binding) {
  binding.logarithmic = learningLogarithmic_;
  MidiBindingList list = patch_.Bindings();
  if (const MidiBinding* before = list.Find(binding.target)) {
    binding.pickUp = before->pickUp;
    binding.momentary = before->momentary && binding.source == MidiBinding::Source::Note;
  }
  list.Replace(binding);
  patch_.EditBindings(std::move(list), "Learn MIDI for " + binding.target.Description());
  Say(binding.target.Description() + " follows " + binding.SourceText());
  EndLearning();
}

const MidiBinding* MidiController::BindingOf(const MidiTargetSpec& target) const {
  return patch_.Bindings().Find(target);
}

bool MidiController::Forget(const MidiTargetSpec& target) {
  MidiBindingList list = patch_.Bindings();
  if (!list.Forget(target)) return false;
  patch_.EditBindings(std::move(list), "Forget MIDI for " + target.Description());
  Say(target.Description() + " follows no MIDI any more");
  return true;
}

void MidiController::SetPickUp(const MidiTargetSpec& target, bool on) {
  MidiBindingList list = patch_.Bindings();
  MidiBinding* b = list.Find(target);
  if (b == nullptr || b->pickUp == on) return;
  b->pickUp = on;
  patch_.EditBindings(
      std::move(list),
      std::string(on ? "MIDI Pick-Up for " : "No MIDI Pick-Up for ") + target.Description());
}

void MidiController::Bind(const MidiBinding& binding) {
  MidiBindingList list = patch_.Bindings();
  list.Replace(binding);
  patch_.EditBindings(std::move(list), "MIDI for " + binding.target.Description());
}

void MidiController::BindPads(const std::string& drums) {
  MidiBindingList list = patch_.Bindings();
  for (int slot = 0; slot < 5; ++slot) {
    MidiBinding b;
    b.target = {MidiTargetSpec::Kind::Pad, drums, {}, slot};
    b.source = MidiBinding::Source::Note;
    b.number = MidiBinding::kFirstPadNote + slot;
    list.Replace(b);
  }
  patch_.EditBindings(std::move(list), "MIDI Pads for " + drums);
}

void MidiController::BindTransposition(const std::string& bassline) {
  MidiBinding b;
  b.target = {MidiTargetSpec::Kind::Transpose, bassline, {}, 0};
  b.source = MidiBinding::Source::Note;
  b.number = MidiBinding::kDefaultRoot;
  Bind(b);
}

void MidiController::ProgramChange(const MidiEvent& e) {
  const int slot = e.data1;
  if (slot >= TGardeningContraption::kPresetCount) return;
  TContraptionFactory& factory = patch_.Engine().Factory();
  const auto recall = [slot](TGardeningContraption& c) {
    if (!c.HasPreset(slot)) return;
    c.RecallPreset(slot);
    c.WindowStateRestored();
  };
  bool acted = false;
  for (const MidiBinding& b : patch_.Bindings().All()) {
    if (b.source != MidiBinding::Source::Program || (b.channel >= 0 && b.channel != e.Channel()))
      continue;
    if (b.target.kind == MidiTargetSpec::Kind::Scene) {
      // Every contraption where the slot is set, as one edit.
      patch_.AsOneCommand("Recall Scene " + std::to_string(slot + 1), [&] {
        for (int i = 0; i < patch_.Model().NodeCount(); ++i)
          recall(*patch_.Model().NodeAt(i).contraption);
      });
      acted = true;
    } else if (TGardeningContraption* c = factory.FindContraption(b.target.contraption)) {
      recall(*c);
      acted = true;
    }
  }
  if (acted) lastProgramDelay_ = SteadyNanoseconds() - e.time;
}

int MidiController::FeedbackCode(size_t index) const {
  const MidiTarget& t = current_->targets[index];
  if (!t.alive || t.action == MidiTarget::Action::Transpose || t.action == MidiTarget::Action::Pad)
    return -1;
  const double position = miditargetvalues::PositionOf(t, miditargetvalues::CurrentValue(t));
  switch (t.source) {
    case MidiTarget::Source::Controller7:
      return static_cast<int>(std::lround(position * 127.0));
    case MidiTarget::Source::Controller14:
    case MidiTarget::Source::PitchBend:
      return static_cast<int>(std::lround(position * 16383.0));
    case MidiTarget::Source::Note:
      return position >= 0.5 ? 127 : 0;
  }
  return -1;
}

void MidiController::SendFeedback() {
  if (current_ == nullptr || !ports_.IsOpen() || ports_.WantedOutput().empty()) return;
  for (size_t i = 0; i < current_->targets.size(); ++i) {
    const int code = FeedbackCode(i);
    if (code < 0 || code == lastSent_[i]) continue;
    const MidiTarget& t = current_->targets[i];
    const int channel = t.channel < 0 ? 0 : t.channel;
    const int64_t now = SteadyNanoseconds();
    bool sent = false;
    switch (t.source) {
      case MidiTarget::Source::Controller7:
        sent = ports_.Send(MidiEvent::Make(now, MidiEvent::kController, channel, t.number, code));
        break;
      case MidiTarget::Source::Controller14:
        sent = ports_.Send(
                   MidiEvent::Make(now, MidiEvent::kController, channel, t.number, code >> 7)) &&
               ports_.Send(MidiEvent::Make(now, MidiEvent::kController, channel, t.number + 32,
                                           code & 127));
        break;
      case MidiTarget::Source::PitchBend:
        sent = ports_.Send(
            MidiEvent::Make(now, MidiEvent::kPitchBend, channel, code & 127, code >> 7));
        break;
      case MidiTarget::Source::Note:
        sent = ports_.Send(MidiEvent::Make(now, MidiEvent::kNoteOn, channel, t.number, code));
        break;
    }
    if (sent) lastSent_[i] = code;
  }
}

}  // namespace tg
