#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/wavefiles/WaveInfo.h"

struct sf_private_tag;

namespace tg {

class QSFunctionTable;

// Reads sound files (WAV of 8 to 32 bits and float, AIFF, FLAC, Ogg, …)
// frame by frame, as 16-bit values or as floats of full scale ±1.0.
// Not for the audio thread: every call does file I/O.
class SoundFileReader {
 public:
  SoundFileReader() = default;
  ~SoundFileReader() { Close(); }
  SoundFileReader(const SoundFileReader&) = delete;
  SoundFileReader& operator=(const SoundFileReader&) = delete;

  // Opens only a regular file, never waiting: a pipe, a folder or a device
  // is refused (a pipe would block the reader until someone writes to it).
  bool Open(const std::string& fileName);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // Why the last Open failed, as a user reads it after the file's name:
  // "not found", "it is a folder", "it is a pipe", "not a sound file", …
  const std::string& Problem() const { return problem_; }
  const WaveInfo& Info() const { return info_; }

  bool SeekFrame(int64_t frame);
  // Interleaved frames; answers how many were read (fewer at the end).
  int64_t ReadFrames16(int16_t* out, int64_t frames);
  int64_t ReadFramesFloat(float* out, int64_t frames);

 private:
  sf_private_tag* file_ = nullptr;
  int fd_ = -1;
  WaveInfo info_;
  std::string problem_;
  std::vector<float> scratch_;
};

// The format of a sound file; valid false when it cannot be read.
WaveInfo ReadWaveInfo(const std::string& fileName);
// Why a file cannot be played ("not found", "it is a folder", "not a sound
// file", …), or empty when it can. Reads no more than the header.
std::string SoundFileProblem(const std::string& fileName);

// How the channels of a file come out of ReadAtProgramRate.
enum class ChannelMix {
  kKeep,  // mono stays mono, two or more channels give the first two
  kMono,  // stereo mixed as (L + R) × 0.76
};

// Sound at the program's rate, as interleaved floats of full scale ±1.0.
struct ProgramRateSound {
  int channels = 1;
  int64_t frames = 0;
  std::vector<float> samples;  // frames × channels values
};

// Reads an open file from where it stands (its start, after Open), converted
// to the program's rate by linear interpolation; at most maxFrames frames.
// Not for the audio thread.
ProgramRateSound ReadAtProgramRate(SoundFileReader& reader, int64_t maxFrames, ChannelMix mix);

// Loads a whole file into a table, converted to the program's rate by linear
// interpolation and mixed to mono (stereo as (L + R) × 0.76); entries past
// the file's end, guard included, become 0. A file that cannot be read
// leaves the table unchanged and answers false.
bool LoadWaveIntoTable(QSFunctionTable& table, const std::string& fileName,
                       WaveInfo* info = nullptr);

}  // namespace tg
