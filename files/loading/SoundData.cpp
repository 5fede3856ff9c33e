#include "files/loading/SoundData.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "dsp/BlockConstants.h"
#include "files/SoundFilePaths.h"
#include "files/wavefiles/SoundFileReader.h"
#include "properties/QSCStringProperty.h"
#include "properties/TextIO.h"

namespace tg {

std::atomic<int64_t> SoundData::live_{0};

namespace {

// The frames a file's header promises, at the program's rate.
int64_t HeaderProgramFrames(const WaveInfo& info) {
  if (!info.valid || !(info.sampleRate > 0.0)) return 0;
  return static_cast<int64_t>(static_cast<double>(info.frames) * kSampleRate / info.sampleRate);
}

}  // namespace

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
  auto data = std::make_unique<SoundData>(std::move(sound.samples), sound.channels, frames,
                                          static_cast<int32_t>(sound.frames), reader.Info());
  data->cut_ = HeaderProgramFrames(reader.Info()) > size;
  return data;
}

int64_t SoundData::ProgramFramesOf(const std::string& path, int32_t* channels) {
  const WaveInfo info = ReadWaveInfo(path);
  if (channels != nullptr) *channels = info.valid ? info.channels : 0;
  return info.valid ? HeaderProgramFrames(info) : 0;
}

uint64_t SoundData::BytesFor(const std::string& path, int32_t maxFrames) {
  int32_t channels = 0;
  const int64_t frames = std::min<int64_t>(ProgramFramesOf(path, &channels), maxFrames);
  if (frames <= 0) return 0;
  return static_cast<uint64_t>(frames + 1) * static_cast<uint64_t>(std::min(channels, 2)) *
         sizeof(float);
}

uint64_t SoundData::BytesForFirstValue(std::string_view values, std::string_view documentDirectory,
                                       int32_t maxFrames) {
  std::istringstream in{std::string(values)};
  char brace = 0;
  if (!textio::ReadChar(in, brace) || brace != '{') return 0;
  QSCStringProperty name;
  name.ReadFrom(in);
  if (in.fail() || name.Value().empty()) return 0;
  return BytesFor(SoundFilePaths::Instance().ResolveSoundFileFrom(name.Value(), documentDirectory),
                  maxFrames);
}

std::string SoundData::CutNote(const std::string& path, int32_t maxFrames) {
  const int64_t frames = ProgramFramesOf(path);
  if (frames <= maxFrames) return {};
  return "lasts " + Duration(frames) + "; only its first " + Duration(maxFrames) + " play";
}

std::string SoundData::Duration(int64_t frames) {
  const auto seconds = static_cast<int64_t>(static_cast<double>(frames) / kSampleRate);
  const int64_t s = seconds % 60;
  return std::to_string(seconds / 60) + (s < 10 ? ":0" : ":") + std::to_string(s);
}

std::unique_ptr<SoundData> SoundData::Silence(SoundConversion conversion) {
  const bool table = conversion.kind == SoundConversion::Kind::kTable;
  return std::make_unique<SoundData>(std::vector<float>{}, 1,
                                     table ? std::max(conversion.size, 0) : 0, 0, WaveInfo{});
}

}  // namespace tg
