#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace tg {

class LastMinutesRing;

struct LastMinutesSaved {
  std::string problem;  // empty when the file was written
  int64_t frames = 0;
};

// Writes what the ring keeps as a 16-bit stereo wave file, beside the target
// first and renamed over it only when complete, so a full disk never leaves
// half a file. On a worker thread, never under the engine lock: playback
// goes on meanwhile.
LastMinutesSaved SaveLastMinutes(const LastMinutesRing& ring, const std::string& fileName);

// A file name made of the local date and time: "last-minutes-20261209-171530.wav".
std::string LastMinutesFileName(std::time_t when);

}  // namespace tg
