#pragma once

#include <cstdint>
#include <optional>

#include "engine/devices/PlayoutMark.h"
#include "engine/midi/MidiClockLink.h"
#include "engine/midi/MidiEvent.h"

namespace tg {

// Plays the tempo clock through a MIDI system that sends at once rather than
// at a frame of a server's cycle (the ALSA sequencer): each message waits
// until the frame it belongs to is heard, as the output's playout mark and
// latency tell. Without a mark (the output has not played yet, or plays
// without telling) messages go as the audio thread hands them over.
// One thread of the MIDI system's own.
class MidiClockPacer {
 public:
  // A clock this late has lost its moment (others go at once).
  static constexpr int64_t kMostLateNanoseconds = 10'000'000;

  explicit MidiClockPacer(MidiClockLink& link) : link_(link) {}

  // Sends, through send(const MidiEvent&), every message due by now; answers
  // when the next one waiting is due, if one waits.
  template <typename Send>
  std::optional<int64_t> SendDue(int64_t now, const PlayoutMark::Reading* mark, Send send) {
    const uint32_t run = link_.Run();
    for (;;) {
      if (!waits_) {
        if (!link_.Pop(waiting_)) return std::nullopt;
        waits_ = true;
      }
      if (waiting_.run != run) {  // of an output run that ended
        waits_ = false;
        continue;
      }
      if (mark != nullptr) {
        const int64_t due = DueTime(waiting_.renderedFrame, *mark);
        if (due > now) return due;
        if (now - due > kMostLateNanoseconds && waiting_.LostWhenLate()) {
          waits_ = false;
          continue;
        }
      }
      send(MidiEvent{now, waiting_.status, waiting_.data1, waiting_.data2});
      waits_ = false;
    }
  }

  // When a rendered frame is heard, on the steady clock.
  static int64_t DueTime(int64_t renderedFrame, const PlayoutMark::Reading& mark);

 private:
  MidiClockLink& link_;
  MidiClockLink::Message waiting_;
  bool waits_ = false;
};

}  // namespace tg
