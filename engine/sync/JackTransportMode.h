#pragma once

#include <optional>
#include <string_view>

namespace tg {

// "JACK transport:": left alone, followed (the clock source is then the JACK
// transport), or led (the program is the transport's timebase master).
// Stored as a word.
enum class JackTransportMode { Off, Follow, Lead };

inline std::string_view JackTransportWord(JackTransportMode mode) {
  switch (mode) {
    case JackTransportMode::Follow:
      return "follow";
    case JackTransportMode::Lead:
      return "lead";
    case JackTransportMode::Off:
      break;
  }
  return "off";
}

inline std::optional<JackTransportMode> JackTransportFromWord(std::string_view word) {
  if (word == "off") return JackTransportMode::Off;
  if (word == "follow") return JackTransportMode::Follow;
  if (word == "lead") return JackTransportMode::Lead;
  return std::nullopt;
}

}  // namespace tg
