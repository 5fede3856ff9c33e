#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dsp/BlockConstants.h"

namespace tg {

// A ring buffer written and read a whole block at a time. Its length is a
// multiple of the block size and exceeds the maximum delay by a block or more.
class QSDelayLine {
 public:
  // UI thread: allocates the buffer once.
  explicit QSDelayLine(double maxSeconds);
  // The memory a line for maxSeconds allocates.
  static std::size_t BytesFor(double maxSeconds) {
    return (static_cast<std::size_t>(LengthFor(maxSeconds)) + 1) * sizeof(float);
  }
  QSDelayLine(const QSDelayLine&) = delete;
  QSDelayLine& operator=(const QSDelayLine&) = delete;

  void Clear();
  // Audio thread: the block delayed by delaySeconds (read before this block's write).
  void Read(float* out, double delaySeconds) const;
  // Audio thread: reads at rate input samples per output sample and moves the
  // caller's delay on for the next block.
  void ReadMoving(float* out, double& delaySeconds, double rate) const;
  // Audio thread: appends one block.
  void Write(const float* in);

  int32_t Length() const { return length_; }
  // The ring itself, with its guard entry at Length(), for per-sample readers.
  const float* Data() const { return buffer_.data(); }
  int32_t WriteIndex() const { return write_; }

 private:
  static int32_t LengthFor(double maxSeconds) {
    const auto n = static_cast<int32_t>(maxSeconds * kSampleRate);
    return n / kBlockSize * kBlockSize + 2 * kBlockSize;
  }

  int32_t length_;
  int32_t write_ = 0;
  std::vector<float> buffer_;  // length + 1, the last a guard copy of the first
};

}  // namespace tg
