#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tg {

// What drives the tempo clock. Stored as a word, so that more sources can
// join without breaking stored settings.
// Link follows an Ableton Link session; JackTransport follows the JACK
// transport's timebase master.
enum class ClockSource { Internal, MidiClock, Link, JackTransport };

inline std::string_view ClockSourceWord(ClockSource source) {
  switch (source) {
    case ClockSource::MidiClock:
      return "midi";
    case ClockSource::Link:
      return "link";
    case ClockSource::JackTransport:
      return "jack";
    case ClockSource::Internal:
      break;
  }
  return "internal";
}

inline std::optional<ClockSource> ClockSourceFromWord(std::string_view word) {
  if (word == "internal") return ClockSource::Internal;
  if (word == "midi") return ClockSource::MidiClock;
  if (word == "link") return ClockSource::Link;
  if (word == "jack") return ClockSource::JackTransport;
  return std::nullopt;
}

}  // namespace tg
