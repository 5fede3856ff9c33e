#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tg {

// What drives the tempo clock. Stored as a word, so that more sources can
// join without breaking stored settings.
enum class ClockSource { Internal, MidiClock };

inline std::string_view ClockSourceWord(ClockSource source) {
  switch (source) {
    case ClockSource::MidiClock:
      return "midi";
    case ClockSource::Internal:
      break;
  }
  return "internal";
}

inline std::optional<ClockSource> ClockSourceFromWord(std::string_view word) {
  if (word == "internal") return ClockSource::Internal;
  if (word == "midi") return ClockSource::MidiClock;
  return std::nullopt;
}

}  // namespace tg
