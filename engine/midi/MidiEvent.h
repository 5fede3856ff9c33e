#pragma once

#include <chrono>
#include <cstdint>

namespace tg {

// One channel message (controller, note, program change, pitch bend) or one
// message of the clock (clock, start, continue, stop, song position) with
// the time it was played: nanoseconds of the steady clock, whatever system
// delivered it, so that every source shares one time base. A system that
// counts frames (JACK) also gives the frame, exact to the sample.
struct MidiEvent {
  enum Type : uint8_t {
    kNoteOff = 0x80,
    kNoteOn = 0x90,
    kController = 0xB0,
    kProgram = 0xC0,
    kPitchBend = 0xE0,
  };
  enum Sync : uint8_t {
    kSongPosition = 0xF2,
    kClock = 0xF8,
    kStart = 0xFA,
    kContinue = 0xFB,
    kStop = 0xFC,
  };
  static constexpr int64_t kNoFrame = -1;

  int64_t time = 0;
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
  int64_t frame = kNoFrame;  // the JACK server's frame, counted without wrapping

  uint8_t Kind() const { return status & 0xF0; }
  int Channel() const { return status & 0x0F; }
  // A note-on of velocity 0 ends the note, as a note-off does.
  bool IsNoteOn() const { return Kind() == kNoteOn && data2 > 0; }
  bool IsNoteOff() const { return Kind() == kNoteOff || (Kind() == kNoteOn && data2 == 0); }
  bool IsSync() const { return IsSync(status); }
  // The message's length in bytes on the wire.
  int Size() const {
    if (IsSync()) return status == kSongPosition ? 3 : 1;
    return Kind() == kProgram ? 2 : 3;
  }

  static MidiEvent Make(int64_t time, uint8_t kind, int channel, int data1, int data2 = 0) {
    return {time, static_cast<uint8_t>(kind | (channel & 0x0F)), static_cast<uint8_t>(data1 & 0x7F),
            static_cast<uint8_t>(data2 & 0x7F)};
  }
  // A song position in sixteenths (0 … 16383).
  static MidiEvent SongPosition(int64_t time, int sixteenths) {
    return {time, kSongPosition, static_cast<uint8_t>(sixteenths & 0x7F),
            static_cast<uint8_t>((sixteenths >> 7) & 0x7F)};
  }
  int SongPositionSixteenths() const { return data1 | (data2 << 7); }
  // The channel messages this program acts on; system and other messages are none of them.
  static bool IsUsable(uint8_t status) {
    const uint8_t kind = status & 0xF0;
    return kind == kNoteOff || kind == kNoteOn || kind == kController || kind == kProgram ||
           kind == kPitchBend;
  }
  // The clock's messages, which a clock source plays and a follower reads.
  static bool IsSync(uint8_t status) {
    return status == kClock || status == kStart || status == kContinue || status == kStop ||
           status == kSongPosition;
  }
};

inline int64_t SteadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace tg
