#pragma once

namespace tg {

// Every signal in the graph is processed in blocks of this many samples.
inline constexpr int kBlockSize = 256;
// The one sample rate of the whole program.
inline constexpr double kSampleRate = 44100.0;

}  // namespace tg
