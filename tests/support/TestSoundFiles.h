#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "files/wavefiles/TGWaveOutFile.h"

namespace tg::test {

// A 16-bit file through the program's own wave writer; frames interleaved.
inline void WriteWave(const std::string& name, int32_t rate, int16_t channels,
                      const std::vector<int16_t>& samples) {
  TGWaveOutFile file(name, rate, channels, true);
  ASSERT_TRUE(file.IsOpen()) << name;
  const auto frames = static_cast<uint32_t>(samples.size() / static_cast<size_t>(channels));
  ASSERT_EQ(file.Write(samples.data(), frames), frames);
}

// A mono file holding one level throughout.
inline void WriteLevel(const std::string& name, int16_t level, int frames, int32_t rate = 44100) {
  WriteWave(name, rate, 1, std::vector<int16_t>(static_cast<size_t>(frames), level));
}

// Mono samples whose every frame differs: 1000 + k.
inline std::vector<int16_t> Ramp(int frames) {
  std::vector<int16_t> s(static_cast<size_t>(frames));
  for (int k = 0; k < frames; ++k) s[static_cast<size_t>(k)] = static_cast<int16_t>(1000 + k);
  return s;
}

// A mono file of one level in a format the program's writer does not make.
inline void WriteWithSndfile(const std::string& name, int format, float level, int frames) {
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 1;
  info.format = format;
  SNDFILE* f = sf_open(name.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  const std::vector<float> samples(static_cast<size_t>(frames), level);
  sf_writef_float(f, samples.data(), frames);
  sf_close(f);
}

}  // namespace tg::test
