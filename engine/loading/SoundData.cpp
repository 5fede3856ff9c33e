#include "engine/loading/SoundData.h"

#include <algorithm>
#include <utility>

#include "engine/wavefiles/SoundFileReader.h"

namespace tg {

std::atomic<int64_t> SoundData::live_{0};

SoundData::SoundData(std::vector<float> samples, int32_t channels, int32_t frames,
                     int32_t soundFrames, const WaveInfo& source)
    : samples_(std::move(samples)),
      channels_(channels),
      frames_(frames),
      soundFrames_(std::min(soundFrames, frames)),
      source_(source) {
  samples_.resize(static_cast<size_t>(frames_ + 1) * static_cast<size_t>(channels_), 0.0f);
  live_.fetch_add(1, std::memory_order_relaxed);
}

SoundData::~SoundData() { live_.fetch_sub(1, std::memory_order_release); }

std::unique_ptr<SoundData> SoundData::Read(const std::string& path, SoundConversion conversion) {
  SoundFileReader reader;
  if (!reader.Open(path)) return nullptr;
  const bool table = conversion.kind == SoundConversion::Kind::kTable;
  const int32_t size = std::max(conversion.size, 0);
  ProgramRateSound sound =
      ReadAtProgramRate(reader, size, table ? ChannelMix::kMono : ChannelMix::kKeep);
  // A table always has its full size: past the file's end it is silent.
  const int32_t frames = table ? size : static_cast<int32_t>(sound.frames);
  return std::make_unique<SoundData>(std::move(sound.samples), sound.channels, frames,
                                     static_cast<int32_t>(sound.frames), reader.Info());
}

std::unique_ptr<SoundData> SoundData::Silence(SoundConversion conversion) {
  const bool table = conversion.kind == SoundConversion::Kind::kTable;
  return std::make_unique<SoundData>(std::vector<float>{}, 1,
                                     table ? std::max(conversion.size, 0) : 0, 0, WaveInfo{});
}

}  // namespace tg
