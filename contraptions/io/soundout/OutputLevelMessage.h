#pragma once

#include <cstdint>
#include <string>

namespace tg {

// What the user is told of samples sent over full scale: "3 samples clipped
// (peak +1.2 dBFS)", "0 samples clipped (peak -6.0 dBFS)", or "0 samples
// clipped (silence)" when nothing sounded. peak: the highest magnitude.
std::string ClippedMessage(uint64_t samples, float peak);
// What the user is told of the output limiter: "" when it never acted, else
// "the limiter turned 812 frames down, by up to 4.1 dB".
std::string LimitedMessage(uint64_t frames, float lowestGain);

}  // namespace tg
