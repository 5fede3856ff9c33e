#include "dsp/GainLimiter.h"

#include "dsp/BlockConstants.h"

namespace tg {

GainLimiter::GainLimiter(float threshold, float ceiling, double attackSeconds, double holdSeconds,
                         double releaseSeconds)
    : threshold_(threshold),
      ceiling_(ceiling),
      attack_(static_cast<int32_t>(kSampleRate * attackSeconds)),
      hold_(static_cast<int32_t>(kSampleRate * holdSeconds)),
      release_(static_cast<int32_t>(kSampleRate * releaseSeconds)) {}

void GainLimiter::Process(float* samples, int count) {
  for (int i = 0; i < count; ++i) {
    const float x = samples[i];
    const float m = x < 0.0f ? -x : x;
    // Only an idle limiter lets the countdown run on; it never matters below -1
    // there, and stopping it keeps a limiter that idles for days from wrapping.
    if (countdown_ > -1) --countdown_;
    if (m * (static_cast<float>(countdown_) * increment_ + gain_) > threshold_) {
      increment_ = (1.0f / m - gain_) / static_cast<float>(attack_);
      countdown_ = attack_;
      state_ = State::Attack;
    } else if (countdown_ <= 0) {
      switch (state_) {
        case State::Attack:
          increment_ = 0.0f;
          countdown_ = hold_;
          state_ = State::Hold;
          break;
        case State::Hold:
          increment_ = (1.0f - gain_) / static_cast<float>(attack_);
          countdown_ = release_;
          state_ = State::Release;
          break;
        case State::Release:
          increment_ = 0.0f;
          countdown_ = release_;
          state_ = State::Idle;
          break;
        case State::Idle:
          break;
      }
    }
    float out = x * gain_;
    if (out > ceiling_) out = ceiling_;
    if (out < -ceiling_) out = -ceiling_;
    samples[i] = out;
    gain_ += increment_;
  }
}

}  // namespace tg
