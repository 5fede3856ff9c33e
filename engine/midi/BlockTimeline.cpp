#include "engine/midi/BlockTimeline.h"

#include <cmath>

#include "dsp/BlockConstants.h"

namespace tg {

namespace block_timeline {

constexpr int64_t kFramesPerSecond = static_cast<int64_t>(kSampleRate);
constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;
// A later fill moves the estimate this share of the way up.
constexpr int64_t kRiseDivisor = 64;

}  // namespace block_timeline

int64_t BlockTimeline::FramesToNanoseconds(int64_t frames) {
  // In two parts, so that years of frames do not overflow.
  return frames / block_timeline::kFramesPerSecond * block_timeline::kNanosecondsPerSecond +
         frames % block_timeline::kFramesPerSecond * block_timeline::kNanosecondsPerSecond /
             block_timeline::kFramesPerSecond;
}

void BlockTimeline::Restart(int primingFills) {
  primingLeft_ = primingFills;
  known_ = false;
}

void BlockTimeline::OnFill(int64_t nowNanoseconds, int64_t firstFrame, int framesPerBuffer) {
  latencyFrames_.store(framesPerBuffer, std::memory_order_relaxed);
  if (primingLeft_ > 0) {
    --primingLeft_;
    return;
  }
  const int64_t start = nowNanoseconds - FramesToNanoseconds(firstFrame);
  const int64_t buffer = FramesToNanoseconds(framesPerBuffer);
  if (!known_ || start < base_ || start - base_ > 2 * buffer) {
    // Earlier than ever (a timely fill), or far behind (the stream ran dry
    // and starts over): taken as it is.
    base_ = start;
    known_ = true;
  } else {
    base_ += (start - base_) / block_timeline::kRiseDivisor;
  }
}

int64_t BlockTimeline::DueFrame(int64_t timeNanoseconds) const {
  if (!known_) return kUnknown;
  const auto frames =
      static_cast<int64_t>(std::floor(static_cast<double>(timeNanoseconds - base_) * kSampleRate /
                                      block_timeline::kNanosecondsPerSecond));
  return frames + LatencyFrames();
}

}  // namespace tg
