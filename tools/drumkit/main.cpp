// tonegarden-drumkit: writes the drum sounds the examples play, and loops
// made from them, by synthesis, into a directory. The build runs it for examples/samples/.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/drumkit/DrumKitFiles.h"

namespace {

constexpr int kBadArguments = 2;
constexpr int kCannotWrite = 1;

const char* const kUsage =
    "usage: tonegarden-drumkit DIRECTORY\n"
    "\n"
    "Writes the drum kit (kick, snare, closed and open hi-hat, clap, rim), made\n"
    "by synthesis, into DIRECTORY as 16-bit mono 44100 Hz wave files, and loops\n"
    "at 120 beats per minute made from it and a few synthesised voices (drums,\n"
    "percussion, bass, chords; 16-bit 44100 Hz, mono or stereo). The same\n"
    "bytes come out every time; a file of the same name is replaced only once\n"
    "its new version is complete.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 2 || argv[1][0] == '\0' || argv[1][0] == '-') {
    std::fputs(kUsage, stderr);
    return kBadArguments;
  }
  const std::string error = tg::WriteDrumKit(argv[1]);
  if (!error.empty()) {
    std::fprintf(stderr, "tonegarden-drumkit: %s\n", error.c_str());
    return kCannotWrite;
  }
  return 0;
}
