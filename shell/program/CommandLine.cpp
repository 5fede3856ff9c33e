#include "shell/program/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace tg {
namespace {

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  const std::string other(b);
  return a.size() == other.size() &&
         std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine result;
  bool fileTaken = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool bad = false;
    std::error_code error;
    // Absolute paths start with "/" here too: a switch is one word after it.
    const bool isSwitch = !arg.empty() && arg[0] == '/' && arg.find('/', 1) == std::string::npos &&
                          !std::filesystem::exists(arg, error);
    if (!isSwitch) {
      if (fileTaken) {
        bad = true;
      } else {
        fileTaken = true;
        if (std::filesystem::is_regular_file(arg, error)) result.fileName = arg;
      }
    } else {
      const std::string name = arg.substr(1);
      if (EqualsIgnoringCase(name, "STARTDACS")) {
        result.startAudioOut = true;
      } else if (EqualsIgnoringCase(name, "STARTADCS")) {
        result.startAudioIn = true;
      } else if (EqualsIgnoringCase(name, "STARTCLOCK")) {
        result.startClock = true;
      } else {
        bad = true;
      }
    }
    if (bad) {
      result.error = "Bad command line parameter number " + std::to_string(i) + ": \"" + arg + "\"";
      break;
    }
  }
  return result;
}

}  // namespace tg
