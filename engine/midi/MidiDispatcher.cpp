#include "engine/midi/MidiDispatcher.h"

#include <algorithm>
#include <cmath>

#include "contraptions/generators/bassline/TGBassline.h"
#include "contraptions/generators/drums/TGDrums.h"
#include "dsp/BlockConstants.h"
#include "engine/midi/MidiClockSync.h"
#include "engine/midi/MidiInput.h"
#include "engine/midi/MidiTargetValues.h"

namespace tg {

namespace midi_dispatcher {

// A controller within this of the value has met it (pick-up).
constexpr double kCatchDistance = 1.0 / 127.0 + 1e-9;
constexpr double kFull7 = 127.0;
constexpr double kFull14 = 16383.0;

void SetFromMidi(MidiTarget& t, double value) {
  miditargetvalues::SetValue(t, value);
  t.lastSet = miditargetvalues::CurrentValue(t);
  t.setByMidi = true;
}

}  // namespace midi_dispatcher

MidiDispatcher::MidiDispatcher() = default;
MidiDispatcher::~MidiDispatcher() = default;

bool MidiDispatcher::Attach(MidiInput* input) {
  for (MidiInput*& slot : inputs_) {
    if (slot == input) return true;
    if (slot == nullptr) {
      slot = input;
      return true;
    }
  }
  return false;
}

void MidiDispatcher::Detach(MidiInput* input) {
  for (MidiInput*& slot : inputs_) {
    if (slot == input) slot = nullptr;
  }
}

std::unique_ptr<MidiTargetMap> MidiDispatcher::Exchange(std::unique_ptr<MidiTargetMap> map) {
  touchedCount_ = 0;
  map_.swap(map);
  return map;
}

void MidiDispatcher::Forget(const QSSignalProcessor* processor) {
  if (map_ == nullptr) return;
  for (MidiTarget& t : map_->targets) {
    if (t.processor == processor) t.alive = false;
  }
}

void MidiDispatcher::Restart(int primingFills) {
  timeline_.Restart(primingFills);
  pendingCount_ = 0;
  MidiEvent event;
  for (MidiInput* input : inputs_) {
    while (input != nullptr && input->TakeForAudio(event)) {
      // A master started, stopped or moved meanwhile: the clock follows that.
      if (event.IsSync()) TakeSync(event, 0, false);
    }
  }
}

void MidiDispatcher::TakeSync(const MidiEvent& event, int64_t blockFirstFrame, bool live) {
  if (clockSync_ == nullptr) return;
  // A clock is followed only while blocks are made for it to lead; Start,
  // Stop, Continue and song position are kept whenever they came.
  if (live || event.status != MidiEvent::kClock) clockSync_->Take(event, blockFirstFrame);
}

void MidiDispatcher::BeginFill(int64_t nowNanoseconds, int64_t firstFrame, int framesPerBuffer) {
  timeline_.OnFill(nowNanoseconds, firstFrame, framesPerBuffer);
}

void MidiDispatcher::Gather(int64_t blockFirstFrame, bool live) {
  MidiEvent event;
  for (MidiInput* input : inputs_) {
    while (input != nullptr && input->TakeForAudio(event)) {
      if (event.IsSync()) {
        TakeSync(event, blockFirstFrame, live);
        continue;
      }
      const int64_t due = timeline_.DueFrame(event.time);
      const Pending p{event, due == BlockTimeline::kUnknown ? blockFirstFrame : due};
      if (pendingCount_ == pending_.size()) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        continue;
      }
      // In order of time; messages of one time keep the order they came in.
      size_t at = pendingCount_;
      while (at > 0 && pending_[at - 1].due > p.due) {
        pending_[at] = pending_[at - 1];
        --at;
      }
      pending_[at] = p;
      ++pendingCount_;
    }
  }
}

void MidiDispatcher::BeforeBlock(int64_t blockFirstFrame) {
  Gather(blockFirstFrame, true);
  size_t done = 0;
  while (done < pendingCount_ && pending_[done].due < blockFirstFrame + kBlockSize) {
    const int64_t offset = std::max<int64_t>(pending_[done].due - blockFirstFrame, 0);
    Apply(pending_[done].event, static_cast<int>(offset));
    ++done;
  }
  if (done > 0) {
    std::move(pending_.begin() + static_cast<long>(done),
              pending_.begin() + static_cast<long>(pendingCount_), pending_.begin());
    pendingCount_ -= done;
  }
  PostTouched();
}

void MidiDispatcher::ApplyNow() {
  Gather(0, false);
  for (size_t i = 0; i < pendingCount_; ++i) {
    // Nothing renders while audio is stopped: a hit would only sound later.
    const MidiEvent& e = pending_[i].event;
    Apply(e, -1);
  }
  pendingCount_ = 0;
  PostTouched();
}

void MidiDispatcher::Apply(const MidiEvent& event, int offset) {
  if (map_ == nullptr) return;
  const uint8_t kind = event.Kind();
  const int channel = event.Channel();
  for (size_t i = 0; i < map_->targets.size(); ++i) {
    MidiTarget& t = map_->targets[i];
    if (!t.alive || !t.Matches(channel)) continue;
    bool moved = false;
    switch (t.source) {
      case MidiTarget::Source::Controller7:
        if (kind == MidiEvent::kController && event.data1 == t.number) {
          ApplyPosition(t, event.data2 / midi_dispatcher::kFull7);
          moved = true;
        }
        break;
      case MidiTarget::Source::Controller14:
        if (kind == MidiEvent::kController && event.data1 == t.number) {
          // A new upper half starts the value afresh; its lower half follows.
          t.upper = event.data2;
          t.lower = 0;
        } else if (kind == MidiEvent::kController && event.data1 == t.number + 32) {
          t.lower = event.data2;
        } else {
          break;
        }
        ApplyPosition(t, ((t.upper << 7) | t.lower) / midi_dispatcher::kFull14);
        moved = true;
        break;
      case MidiTarget::Source::PitchBend:
        if (kind == MidiEvent::kPitchBend) {
          ApplyPosition(t, ((event.data2 << 7) | event.data1) / midi_dispatcher::kFull14);
          moved = true;
        }
        break;
      case MidiTarget::Source::Note:
        if (kind != MidiEvent::kNoteOn && kind != MidiEvent::kNoteOff) break;
        if (t.action == MidiTarget::Action::Transpose) {
          // Any note of the channel; the pattern moves by its distance from the root.
          if (event.IsNoteOn()) t.bassline->SetTransposition(event.data1 - t.index);
        } else if (event.data1 != t.number) {
          break;
        } else if (t.action == MidiTarget::Action::Pad) {
          if (event.IsNoteOn() && offset >= 0)
            t.drums->PlayPad(t.index, static_cast<float>(event.data2 / midi_dispatcher::kFull7),
                             offset);
        } else if (event.IsNoteOn() || t.momentary) {
          ApplyNote(t, event.IsNoteOn());
          moved = true;
        }
        break;
    }
    if (moved) Touched(static_cast<int>(i));
  }
}

void MidiDispatcher::ApplyPosition(MidiTarget& t, double position) {
  if (t.pickUp) {
    const double current = miditargetvalues::CurrentValue(t);
    // Moved by someone else (a knob, a preset, an undo): met anew.
    if (t.setByMidi && current != t.lastSet) {
      t.caught = false;
      t.setByMidi = false;
    }
    if (!t.caught) {
      const double here = miditargetvalues::PositionOf(t, current);
      const bool crossed =
          t.lastPosition >= 0.0 && (t.lastPosition - here) * (position - here) <= 0.0;
      t.caught = std::abs(position - here) <= midi_dispatcher::kCatchDistance || crossed;
    }
    t.lastPosition = position;
    if (!t.caught) return;
  }
  t.lastPosition = position;
  midi_dispatcher::SetFromMidi(t, miditargetvalues::ValueAt(t, position));
}

void MidiDispatcher::ApplyNote(MidiTarget& t, bool on) {
  double position = on ? 1.0 : 0.0;
  if (!t.momentary)
    position = miditargetvalues::PositionOf(t, miditargetvalues::CurrentValue(t)) >= 0.5
                   ? 0.0
                   : 1.0;  // toggled
  midi_dispatcher::SetFromMidi(t, miditargetvalues::ValueAt(t, position));
  // A note moves the value by itself: a controller has to meet it again.
  t.caught = false;
}

void MidiDispatcher::Touched(int index) {
  MidiTarget& t = map_->targets[static_cast<size_t>(index)];
  if (t.dirty || touchedCount_ == touched_.size()) return;
  t.dirty = true;
  touched_[touchedCount_++] = index;
}

void MidiDispatcher::PostTouched() {
  for (size_t i = 0; i < touchedCount_; ++i) {
    MidiTarget& t = map_->targets[static_cast<size_t>(touched_[i])];
    t.dirty = false;
    if (!changes_.Push({map_->generation, touched_[i], t.processor}))
      dropped_.fetch_add(1, std::memory_order_relaxed);
  }
  touchedCount_ = 0;
}

}  // namespace tg
