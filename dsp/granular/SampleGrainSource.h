#pragma once

#include <array>
#include <cstdint>

#include "dsp/BlockConstants.h"
#include "dsp/granular/GrainVoice.h"

namespace tg {

// Where grains read one block of sound data: a left and a right block,
// shared by all grains of one granulator (each reads, then adds at once).
struct GrainReadBuffers {
  std::array<float, kBlockSize> left{};
  std::array<float, kBlockSize> right{};
};

// Sound data a grain reads: interleaved frames of one or two channels,
// followed by one guard frame, so that an interpolating reader may look one
// frame past the last.
struct GrainSamples {
  const float* samples = nullptr;
  int32_t channels = 1;
  int32_t frames = 0;  // not counting the guard frame
};

// A grain's read through sound data: from a position (in frames) at a rate,
// interpolating between neighbouring frames. Never reads outside the data:
// past the last frame, whatever position or rate it was given, it reads
// silence, into which it fades over its last kEndFade samples.
class SampleGrainSource {
 public:
  static constexpr double kEndFade = 64.0;  // samples, 1.45 ms

  // Audio thread.
  void Start(const GrainSamples& data, double position, double rate) {
    data_ = data;
    position_ = position >= 0.0 ? position : 0.0;  // also not a number
    rate_ = rate > 0.0 ? rate : 0.0;
  }

  // Audio thread: samples from..N−1 of the block into the buffers; a mono
  // source reads the same into both sides.
  GrainInput Read(GrainReadBuffers& into, int from) {
    float* l = into.left.data();
    float* r = into.right.data();
    const bool stereo = data_.channels == 2;
    const auto frames = static_cast<double>(data_.frames);
    const float* s = data_.samples;
    int i = from;
    if (s != nullptr && (stereo || data_.channels == 1)) {
      // From here the end comes within kEndFade samples.
      const double fadeFrom = frames - kEndFade * rate_;
      for (; i < kBlockSize && position_ < frames; ++i) {
        const auto k = static_cast<int64_t>(position_);
        const auto f = static_cast<float>(position_ - static_cast<double>(k));
        const float g = position_ > fadeFrom
                            ? static_cast<float>((frames - position_) / (kEndFade * rate_))
                            : 1.0f;
        position_ += rate_;
        if (stereo) {
          const float* a = s + 2 * k;
          l[i] = (a[0] + (a[2] - a[0]) * f) * g;
          r[i] = (a[1] + (a[3] - a[1]) * f) * g;
        } else {
          l[i] = (s[k] + (s[k + 1] - s[k]) * f) * g;
        }
      }
    }
    for (; i < kBlockSize; ++i) l[i] = r[i] = 0.0f;
    return stereo ? GrainInput{l, r} : GrainInput{l, l};
  }

  double Position() const { return position_; }

 private:
  GrainSamples data_;
  double position_ = 0.0;
  double rate_ = 1.0;
};

}  // namespace tg
