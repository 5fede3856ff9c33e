#pragma once

#include <cstdint>

namespace tg {

// What a sound file holds, as its reader answers it.
struct WaveInfo {
  bool valid = false;
  double sampleRate = 0.0;
  int32_t channels = 0;
  int32_t frames = 0;
  // Byte offset of the first sample in a RIFF/WAVE file; 0 for other formats,
  // whose samples are reached through SoundFileReader::SeekFrame.
  int32_t dataOffset = 0;
};

}  // namespace tg
