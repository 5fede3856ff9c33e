#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/wavefiles/SoundFileReader.h"

namespace tg {

// A sound file read piece by piece as stereo at the program's rate, the way
// ReadAtProgramRate converts a whole file (linear interpolation, the last
// frame held): a mono file gives the same signal on both sides, a file of
// more channels its first two. Frame n of the stream always stands at the
// same place in the file, wherever reading started, so seeking never drifts.
// Not for the audio thread: every call may do file I/O.
class ProgramRateStream {
 public:
  ProgramRateStream() = default;
  ProgramRateStream(const ProgramRateStream&) = delete;
  ProgramRateStream& operator=(const ProgramRateStream&) = delete;

  // False when the file cannot be read; Error says why.
  bool Open(const std::string& fileName);
  void Close();
  bool IsOpen() const { return reader_.IsOpen(); }
  const WaveInfo& Info() const { return reader_.Info(); }
  // The file's length at the program's rate.
  int64_t Frames() const { return frames_; }
  // Frames at the program's rate that a file of sourceFrames at sourceRate
  // gives.
  static int64_t FramesAtProgramRate(int64_t sourceFrames, double sourceRate);

  // Where the next Read starts, limited to the file.
  void Seek(int64_t frame);
  int64_t Position() const { return position_; }
  // Up to count frames as interleaved left/right floats; fewer at the end of
  // the file, or when the file gave out before its end (then Failed).
  int Read(float* out, int count);
  bool Failed() const { return failed_; }
  const std::string& Error() const { return error_; }

 private:
  // Makes the source frames first … last (last within the file) readable
  // in buffer_; false when the file gave out before them.
  bool Cover(int64_t first, int64_t last);
  float At(int64_t frame, int channel) const;

  SoundFileReader reader_;
  double step_ = 1.0;  // source frames per program frame
  int64_t frames_ = 0;
  int64_t sourceFrames_ = 0;
  int64_t position_ = 0;
  std::vector<float> buffer_;   // source frames, interleaved, from bufferStart_
  std::vector<float> scratch_;  // one read from the file
  int64_t bufferStart_ = 0;
  int64_t bufferFrames_ = 0;
  int64_t fileAt_ = -1;  // the reader's position in source frames; -1 unknown
  bool failed_ = false;
  std::string error_;
};

}  // namespace tg
