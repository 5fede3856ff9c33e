#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tg {

// What a file being written is called until it is complete: its name, this
// infix and the writer's process id.
inline constexpr std::string_view kDrumKitTemporaryInfix = ".drumkit-";

// The 16-bit values of samples of full scale ±1.0, rounded to the nearest.
std::vector<int16_t> ToPcm16(const std::vector<double>& samples);

// Writes every sound of the kit into directory (made if missing) as a 16-bit
// mono 44100 Hz wave file, then the loops made from it (16-bit 44100 Hz, mono
// or stereo). Each is written under a temporary name beside its
// own and renamed over it once complete, so a reader, or a second writer at
// the same time, never meets half a file; temporaries of writers that were
// killed are removed. Answers why it failed, or an empty string.
std::string WriteDrumKit(const std::string& directory);

}  // namespace tg
