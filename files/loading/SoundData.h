#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/wavefiles/WaveInfo.h"

namespace tg {

// What a slot asks the loader to make of a file.
struct SoundConversion {
  enum class Kind {
    // A mono table of exactly `size` entries, as LoadWaveIntoTable fills one:
    // stereo mixed as (L + R) × 0.76, entries past the file's end zero.
    kTable,
    // The file's frames, mono or stereo as they are, at most `size` of them.
    kFrames,
  };
  static SoundConversion Table(int32_t entries) { return {Kind::kTable, entries}; }
  static SoundConversion Frames(int32_t maxFrames) { return {Kind::kFrames, maxFrames}; }

  Kind kind = Kind::kFrames;
  int32_t size = 0;
};

// Loaded sound, at the program's rate: Frames() × Channels() interleaved
// floats of full scale ±1.0, followed by one guard frame of zeros so that an
// interpolating reader may look one frame past the end. Once handed to the
// audio thread it never changes; it is made and freed off the audio thread.
class SoundData {
 public:
  // soundFrames: how many of the frames came from the file (the rest of a
  // table is silence).
  SoundData(std::vector<float> samples, int32_t channels, int32_t frames, int32_t soundFrames,
            const WaveInfo& source);
  ~SoundData();
  SoundData(const SoundData&) = delete;
  SoundData& operator=(const SoundData&) = delete;

  // Not the audio thread: the file at path converted as asked; nothing when
  // it cannot be read.
  static std::unique_ptr<SoundData> Read(const std::string& path, SoundConversion conversion);
  // What an empty file name stands for: a table of zeros, or no frames.
  static std::unique_ptr<SoundData> Silence(SoundConversion conversion);

  int32_t Channels() const { return channels_; }
  int32_t Frames() const { return frames_; }
  // The frames that came from the file at the program's rate: all of them for
  // frames, for a table the entries before its silent rest.
  int32_t SoundFrames() const { return soundFrames_; }
  const float* Samples() const { return samples_.data(); }
  float At(int32_t frame, int32_t channel) const {
    return samples_[static_cast<size_t>(frame) * static_cast<size_t>(channels_) +
                    static_cast<size_t>(channel)];
  }
  // The file as it was read (not valid for data made from an empty name).
  const WaveInfo& Source() const { return source_; }
  // Whether the file held more than was kept (frames beyond the most asked for).
  bool Cut() const { return cut_; }

  // Not the audio thread: how many frames a file holds at the program's
  // rate, from its header (0 when it cannot be read), and its channels.
  static int64_t ProgramFramesOf(const std::string& path, int32_t* channels = nullptr);
  // Not the audio thread: the memory a load of the file as frames takes, at
  // most maxFrames of them (0 when it cannot be read).
  static uint64_t BytesFor(const std::string& path, int32_t maxFrames);
  // BytesFor the file a document's value list ("{ "name", … }") names first,
  // found from the document's directory.
  static uint64_t BytesForFirstValue(std::string_view values, std::string_view documentDirectory,
                                     int32_t maxFrames);
  // What a document's load report says of a file longer than maxFrames:
  // "lasts 12:30; only its first 10:00 play"; empty for a shorter one.
  static std::string CutNote(const std::string& path, int32_t maxFrames);
  // m:ss of a number of frames at the program's rate.
  static std::string Duration(int64_t frames);

  // Any thread: how many exist now (leak checks).
  static int64_t LiveCount() { return live_.load(std::memory_order_acquire); }

 private:
  friend class RetiredSounds;

  std::vector<float> samples_;
  int32_t channels_;
  int32_t frames_;
  int32_t soundFrames_;
  WaveInfo source_;
  bool cut_ = false;
  SoundData* nextRetired_ = nullptr;  // while it waits to be freed
  static std::atomic<int64_t> live_;
};

}  // namespace tg
