#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tg {

// What the program was asked to do at start: a document and three switches.
struct CommandLine {
  std::string fileName;  // empty: none
  bool startAudioOut = false;
  bool startAudioIn = false;
  bool startClock = false;
  // The text to show for the first bad argument, if any; reading stopped there.
  std::optional<std::string> error;

  // Audio in and the clock start from the command line only together with audio out.
  bool StartsAudioIn() const { return startAudioOut && startAudioIn; }
  bool StartsClock() const { return startAudioOut && startClock; }
};

inline constexpr const char* kCommandLineErrorCaption = "Tonegarden Command Line Error";

// args[0] is the program. A document that does not exist is quietly not taken.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace tg
