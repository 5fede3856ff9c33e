#include "files/wavefiles/SoundFileReader.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <mutex>
#include <vector>

#include "dsp/BlockConstants.h"
#include "dsp/QSFunctionTable.h"
#include "files/RegularFile.h"
#include "files/wavefiles/RiffIO.h"

namespace tg {

namespace {

// Reads at positions of its own (pread), so the descriptor stays where
// libsndfile left it.
int32_t RiffDataOffset(int fd) {
  int64_t at = 12;
  uint32_t size = 0;
  int64_t sizeAt = 0;
  const bool found = riff::IsRiffWave(fd) && riff::FindChunk(fd, at, "data", size, sizeAt);
  return found && at <= INT32_MAX ? static_cast<int32_t>(at) : 0;
}

// The whole file as one or two channels of floats; a third and further
// channels are left out.
struct Channels {
  std::vector<float> left, right;
};

Channels ReadUpTo(SoundFileReader& reader, int64_t maxFrames) {
  const int channels = reader.Info().channels;
  constexpr int64_t kChunk = 4096;
  std::vector<float> chunk(static_cast<size_t>(kChunk * channels));
  Channels out;
  int64_t done = 0;
  while (done < maxFrames) {
    const int64_t got = reader.ReadFramesFloat(chunk.data(), std::min(kChunk, maxFrames - done));
    if (got <= 0) break;
    for (int64_t f = 0; f < got; ++f) {
      out.left.push_back(chunk[static_cast<size_t>(f * channels)]);
      if (channels > 1) out.right.push_back(chunk[static_cast<size_t>(f * channels + 1)]);
    }
    done += got;
  }
  return out;
}

}  // namespace

bool SoundFileReader::Open(const std::string& fileName) {
  Close();
  info_ = WaveInfo{};
  problem_.clear();
  // Looked at through the same descriptor that libsndfile then reads.
  const int fd = regularfile::OpenForReading(fileName, problem_);
  if (fd < 0) return false;
  SF_INFO sfInfo{};
  SNDFILE* file = nullptr;
  {
    // The library writes a failed open's message into one buffer of its own:
    // two threads opening at once (a loader and a window's tip) would race.
    static std::mutex openMutex;
    const std::lock_guard lock(openMutex);
    file = sf_open_fd(fd, SFM_READ, &sfInfo, SF_FALSE);
  }
  if (file == nullptr || sfInfo.samplerate <= 0 || sfInfo.channels <= 0 || sfInfo.frames < 0) {
    if (file != nullptr) sf_close(file);
    ::close(fd);
    problem_ = "not a sound file";
    return false;
  }
  file_ = reinterpret_cast<sf_private_tag*>(file);
  fd_ = fd;
  info_.valid = true;
  info_.sampleRate = sfInfo.samplerate;
  info_.channels = sfInfo.channels;
  info_.frames = static_cast<int32_t>(std::min<sf_count_t>(sfInfo.frames, INT32_MAX));
  info_.dataOffset = RiffDataOffset(fd);
  return true;
}

void SoundFileReader::Close() {
  if (file_ != nullptr) sf_close(reinterpret_cast<SNDFILE*>(file_));
  file_ = nullptr;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool SoundFileReader::SeekFrame(int64_t frame) {
  if (file_ == nullptr) return false;
  return sf_seek(reinterpret_cast<SNDFILE*>(file_), frame, SEEK_SET) >= 0;
}

int64_t SoundFileReader::ReadFrames16(int16_t* out, int64_t frames) {
  // Read as floats and converted here: libsndfile would hand float files over
  // as near-silence, or scaled to their own peak.
  if (file_ == nullptr || frames <= 0) return 0;
  const auto values = static_cast<size_t>(frames) * static_cast<size_t>(info_.channels);
  if (scratch_.size() < values) scratch_.resize(values);
  const int64_t got = ReadFramesFloat(scratch_.data(), frames);
  const auto gotValues = static_cast<size_t>(got) * static_cast<size_t>(info_.channels);
  for (size_t i = 0; i < gotValues; ++i) {
    const float v = scratch_[i] * 32768.0f;
    out[i] = v >= 32767.0f    ? int16_t{32767}
             : v <= -32768.0f ? int16_t{-32768}
                              : static_cast<int16_t>(v);
  }
  return got;
}

int64_t SoundFileReader::ReadFramesFloat(float* out, int64_t frames) {
  if (file_ == nullptr || frames <= 0) return 0;
  const int64_t got =
      std::max<sf_count_t>(0, sf_readf_float(reinterpret_cast<SNDFILE*>(file_), out, frames));
  // A damaged float file may hold NaN, infinities or absurd magnitudes: they
  // would poison every filter downstream, or clip the whole mix for seconds
  // through a feedback path. What is no finite number plays as silence; the
  // rest is held to 24 dB above full scale, so float files that go over full
  // scale keep their peaks.
  constexpr float kLimit = 16.0f;
  const auto values = static_cast<size_t>(got) * static_cast<size_t>(info_.channels);
  for (size_t i = 0; i < values; ++i) {
    const float v = out[i];
    out[i] = !std::isfinite(v) ? 0.0f : std::clamp(v, -kLimit, kLimit);
  }
  return got;
}

WaveInfo ReadWaveInfo(const std::string& fileName) {
  SoundFileReader reader;
  reader.Open(fileName);
  return reader.Info();
}

std::string SoundFileProblem(const std::string& fileName) {
  SoundFileReader reader;
  return reader.Open(fileName) ? std::string() : reader.Problem();
}

ProgramRateSound ReadAtProgramRate(SoundFileReader& reader, int64_t maxFrames, ChannelMix mix) {
  ProgramRateSound out;
  const WaveInfo& wave = reader.Info();
  if (!reader.IsOpen() || maxFrames <= 0) return out;
  // Keeps the frame arithmetic below far from overflowing at any file rate.
  maxFrames = std::min<int64_t>(maxFrames, INT32_MAX);
  const bool stereo = wave.channels > 1;
  out.channels = stereo && mix == ChannelMix::kKeep ? 2 : 1;
  auto emit = [&out, stereo, mix](float l, float r) {
    if (!stereo) {
      out.samples.push_back(l);
    } else if (mix == ChannelMix::kMono) {
      out.samples.push_back((l + r) * 0.76f);
    } else {
      out.samples.push_back(l);
      out.samples.push_back(r);
    }
  };

  if (wave.sampleRate != kSampleRate) {
    const double g = wave.sampleRate / kSampleRate;
    const int64_t want = std::min<int64_t>(
        static_cast<int64_t>(static_cast<double>(maxFrames) * g) + 2, wave.frames);
    const Channels s = ReadUpTo(reader, want);
    const auto read = static_cast<int64_t>(s.left.size());
    out.frames = std::min<int64_t>(static_cast<int64_t>(static_cast<double>(read) / g), maxFrames);
    out.samples.reserve(static_cast<size_t>(out.frames * out.channels));
    // The interpolation may reach one frame past the last one read: it holds
    // the last frame rather than dropping to silence.
    auto at = [read](const std::vector<float>& v, int64_t k) {
      return v[static_cast<size_t>(std::min(k, read - 1))];
    };
    auto between = [&at](const std::vector<float>& v, int64_t k, float f) {
      return at(v, k) + (at(v, k + 1) - at(v, k)) * f;
    };
    double o = 0.0;
    for (int64_t j = 0; j < out.frames; ++j, o += g) {
      const auto k = static_cast<int64_t>(o);
      const auto f = static_cast<float>(o - static_cast<double>(k));
      emit(between(s.left, k, f), stereo ? between(s.right, k, f) : 0.0f);
    }
  } else {
    const Channels s = ReadUpTo(reader, std::min<int64_t>(wave.frames, maxFrames));
    out.frames = static_cast<int64_t>(s.left.size());
    out.samples.reserve(static_cast<size_t>(out.frames * out.channels));
    for (size_t k = 0; k < s.left.size(); ++k) emit(s.left[k], stereo ? s.right[k] : 0.0f);
  }
  return out;
}

bool LoadWaveIntoTable(QSFunctionTable& table, const std::string& fileName, WaveInfo* info) {
  SoundFileReader reader;
  const bool ok = reader.Open(fileName);
  if (info != nullptr) *info = reader.Info();
  if (!ok) return false;
  const ProgramRateSound sound = ReadAtProgramRate(reader, table.Size(), ChannelMix::kMono);
  float* t = table.Data();
  std::copy(sound.samples.begin(), sound.samples.end(), t);
  std::fill(t + sound.frames, t + table.Size() + 1, 0.0f);
  return true;
}

}  // namespace tg
