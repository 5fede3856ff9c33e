#pragma once

#include <cstdint>

namespace tg {

// Peak limiter with a linear attack ramp towards the gain that brings the
// current peak to the threshold, a hold, and a linear release back to unity.
// The output is also clipped to the ceiling, so it never exceeds it even
// while the attack ramp is still under way.
class GainLimiter {
 public:
  enum class State : uint8_t { Idle = 0, Attack = 1, Hold = 2, Release = 3 };

  GainLimiter(float threshold, float ceiling, double attackSeconds, double holdSeconds,
              double releaseSeconds);

  // Audio thread: limits count samples in place.
  void Process(float* samples, int count);

  State GetState() const { return state_; }
  float Gain() const { return gain_; }
  int32_t AttackLength() const { return attack_; }
  int32_t ReleaseLength() const { return release_; }

 private:
  float threshold_;
  float ceiling_;
  int32_t attack_;
  int32_t hold_;
  int32_t release_;
  State state_ = State::Idle;
  float gain_ = 1.0f;
  float increment_ = 0.0f;
  int32_t countdown_ = 0;
};

}  // namespace tg
