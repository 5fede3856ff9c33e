#pragma once

#include <string>
#include <vector>

namespace tg {

// The drum kit the examples play, made by synthesis: no recordings involved.
namespace drumkit {

inline constexpr int kSampleRate = 44100;
// Every sound is scaled to this peak (-3 dBFS), leaving room for mixing.
inline constexpr double kPeak = 0.70794578438413791;
// The kick's sine falls from the first to the second.
inline constexpr double kKickStartHz = 150.0;
inline constexpr double kKickEndHz = 45.0;
// The pitch the snare's shell rings at.
inline constexpr double kSnareToneHz = 185.0;

}  // namespace drumkit

// One sound of the kit: its file name and its samples (mono, full scale ±1.0).
struct DrumSound {
  std::string fileName;
  std::vector<double> samples;
};

// Every sound of the kit, in a fixed order. The noise has fixed seeds, so
// each call gives exactly the same samples.
std::vector<DrumSound> MakeDrumKit();

}  // namespace tg
