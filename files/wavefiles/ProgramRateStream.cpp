#include "files/wavefiles/ProgramRateStream.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "dsp/BlockConstants.h"

namespace tg {

namespace {
constexpr int64_t kReadFrames = 4096;  // source frames per read from the file
}  // namespace

int64_t ProgramRateStream::FramesAtProgramRate(int64_t sourceFrames, double sourceRate) {
  if (sourceFrames <= 0 || !(sourceRate > 0.0)) return 0;
  const double step = sourceRate / kSampleRate;
  // Frame n plays while n × step still lies in the file; counted with the
  // same arithmetic Read uses, so the two never disagree by a frame.
  auto n = static_cast<int64_t>(std::ceil(static_cast<double>(sourceFrames) / step));
  while (n > 0 && static_cast<double>(n - 1) * step >= static_cast<double>(sourceFrames)) --n;
  while (static_cast<double>(n) * step < static_cast<double>(sourceFrames)) ++n;
  return n;
}

bool ProgramRateStream::Open(const std::string& fileName) {
  Close();
  if (!reader_.Open(fileName)) {
    error_ = reader_.Problem();
    return false;
  }
  const WaveInfo& info = reader_.Info();
  step_ = info.sampleRate / kSampleRate;
  sourceFrames_ = info.frames;
  frames_ = FramesAtProgramRate(sourceFrames_, info.sampleRate);
  fileAt_ = 0;
  return true;
}

void ProgramRateStream::Close() {
  reader_.Close();
  frames_ = sourceFrames_ = position_ = 0;
  bufferStart_ = bufferFrames_ = 0;
  fileAt_ = -1;
  failed_ = false;
  error_.clear();
}

void ProgramRateStream::Seek(int64_t frame) { position_ = std::clamp<int64_t>(frame, 0, frames_); }

bool ProgramRateStream::Cover(int64_t first, int64_t last) {
  const int64_t end = bufferStart_ + bufferFrames_;
  if (first >= bufferStart_ && last < end) return true;
  if (first >= bufferStart_ && first < end) {
    // Keep what is still wanted and read on from where the file stands.
    const int64_t drop = first - bufferStart_;
    std::copy(buffer_.begin() + drop * 2, buffer_.begin() + bufferFrames_ * 2, buffer_.begin());
    bufferStart_ = first;
    bufferFrames_ -= drop;
  } else {
    bufferStart_ = first;
    bufferFrames_ = 0;
    if (fileAt_ != first) {
      if (!reader_.SeekFrame(first)) {
        failed_ = true;
        error_ = "the file could not be read";
        return false;
      }
      fileAt_ = first;
    }
  }
  const int channels = reader_.Info().channels;
  while (bufferStart_ + bufferFrames_ <= last) {
    const int64_t want = std::min(kReadFrames, sourceFrames_ - fileAt_);
    if (want <= 0) break;
    scratch_.resize(static_cast<size_t>(want * channels));
    const int64_t got = reader_.ReadFramesFloat(scratch_.data(), want);
    buffer_.resize(static_cast<size_t>((bufferFrames_ + got) * 2));
    for (int64_t f = 0; f < got; ++f) {
      const float left = scratch_[static_cast<size_t>(f * channels)];
      const float right = channels > 1 ? scratch_[static_cast<size_t>(f * channels + 1)] : left;
      buffer_[static_cast<size_t>((bufferFrames_ + f) * 2)] = left;
      buffer_[static_cast<size_t>((bufferFrames_ + f) * 2 + 1)] = right;
    }
    bufferFrames_ += got;
    fileAt_ += got;
    if (got < want) break;
  }
  if (last < bufferStart_ + bufferFrames_) return true;
  // The header promised more than the file holds: cut short, or the disk
  // failed. What was read before still plays.
  failed_ = true;
  error_ = "the file could not be read to its end";
  return false;
}

float ProgramRateStream::At(int64_t frame, int channel) const {
  return buffer_[static_cast<size_t>((frame - bufferStart_) * 2 + channel)];
}

int ProgramRateStream::Read(float* out, int count) {
  int done = 0;
  while (done < count && position_ < frames_) {
    const double p = static_cast<double>(position_) * step_;
    const auto k = std::min(static_cast<int64_t>(p), sourceFrames_ - 1);
    int64_t next = std::min(k + 1, sourceFrames_ - 1);  // the last frame is held
    if (!Cover(k, next)) {
      if (!Cover(k, k)) break;
      next = k;  // the file gave out after this frame: held as at the end
    }
    const auto f = static_cast<float>(p - static_cast<double>(k));
    for (int c = 0; c < 2; ++c) {
      const float a = At(k, c);
      out[done * 2 + c] = a + (At(next, c) - a) * f;
    }
    ++done;
    ++position_;
  }
  return done;
}

}  // namespace tg
