#include "engine/midi/MidiInput.h"

namespace tg {

void MidiInput::Received(const MidiEvent& event) noexcept {
  if (event.IsSync()) {
    // The clock is the audio thread's alone: dozens a second, never learnt.
    if (!toAudio_.Push(event)) dropped_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  if (!MidiEvent::IsUsable(event.status)) return;
  if (event.Kind() != MidiEvent::kProgram && !toAudio_.Push(event))
    dropped_.fetch_add(1, std::memory_order_relaxed);
  if (event.Kind() == MidiEvent::kProgram || watching_.load(std::memory_order_relaxed)) {
    if (!toUi_.Push(event)) dropped_.fetch_add(1, std::memory_order_relaxed);
    wake_.Signal();
  }
}

void MidiInput::PortsChanged() noexcept {
  portsChanged_.store(true);
  wake_.Signal();
}

void MidiInput::SystemLost() noexcept {
  systemLost_.store(true);
  wake_.Signal();
}

}  // namespace tg
