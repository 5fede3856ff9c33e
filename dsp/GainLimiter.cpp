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
  // The state stays in registers for the block; samples are floats like gain_.
  const float threshold = threshold_;
  const float ceiling = ceiling_;
  State state = state_;
  float gain = gain_;
  float increment = increment_;
  int32_t countdown = countdown_;
  for (int i = 0; i < count; ++i) {
    const float x = samples[i];
    const float m = x < 0.0f ? -x : x;
    // Only an idle limiter lets the countdown run on; it never matters below -1
    // there, and stopping it keeps a limiter that idles for days from wrapping.
    if (countdown > -1) --countdown;
    if (m * (static_cast<float>(countdown) * increment + gain) > threshold) {
      increment = (1.0f / m - gain) / static_cast<float>(attack_);
      countdown = attack_;
      state = State::Attack;
    } else if (countdown <= 0) {
      switch (state) {
        case State::Attack:
          increment = 0.0f;
          countdown = hold_;
          state = State::Hold;
          break;
        case State::Hold:
          increment = (1.0f - gain) / static_cast<float>(attack_);
          countdown = release_;
          state = State::Release;
          break;
        case State::Release:
          increment = 0.0f;
          countdown = release_;
          state = State::Idle;
          break;
        case State::Idle:
          break;
      }
    }
    float out = x * gain;
    if (out > ceiling) out = ceiling;
    if (out < -ceiling) out = -ceiling;
    samples[i] = out;
    gain += increment;
  }
  state_ = state;
  gain_ = gain;
  increment_ = increment;
  countdown_ = countdown;
}

}  // namespace tg
