#pragma once

#include <atomic>
#include <cstdint>

#include "base/SpscQueue.h"
#include "engine/midi/MidiSystem.h"
#include "engine/midi/MidiWake.h"

namespace tg {

// Where one MIDI system's thread leaves what it received: every message for
// the audio thread, which plays it at its time, and program changes (or,
// while the user-interface thread watches for learning, every message) for
// the user-interface thread, which is woken. Nothing here blocks or
// allocates; a full queue drops the message and counts it.
class MidiInput final : public MidiEventSink {
 public:
  static constexpr size_t kAudioCapacity = 1024;
  static constexpr size_t kUiCapacity = 256;

  explicit MidiInput(MidiWake& wake) : wake_(wake) {}

  void Received(const MidiEvent& event) noexcept override;
  void PortsChanged() noexcept override;
  void SystemLost() noexcept override;

  // The audio thread's side (or the UI thread's, holding the engine lock).
  bool TakeForAudio(MidiEvent& event) { return toAudio_.Pop(event); }
  // UI thread.
  bool TakeForUi(MidiEvent& event) { return toUi_.Pop(event); }
  // UI thread: every message comes to it too, not just program changes.
  void SetWatching(bool watching) { watching_.store(watching, std::memory_order_relaxed); }
  bool TakePortsChanged() { return portsChanged_.exchange(false); }
  bool TakeSystemLost() { return systemLost_.exchange(false); }
  uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  MidiWake& wake_;
  SpscQueue<MidiEvent, kAudioCapacity> toAudio_;
  SpscQueue<MidiEvent, kUiCapacity> toUi_;
  std::atomic<bool> watching_{false};
  std::atomic<bool> portsChanged_{false};
  std::atomic<bool> systemLost_{false};
  std::atomic<uint64_t> dropped_{0};
};

}  // namespace tg
