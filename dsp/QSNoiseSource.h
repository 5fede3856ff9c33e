#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "dsp/BlockConstants.h"

namespace tg {

namespace lcg {

inline constexpr uint32_t kMultiplier = 1103515245u;
inline constexpr uint32_t kIncrement = 12345u;

// The seed k steps on is mul[k] × seed + add[k] (mod 2^32).
struct Jumps {
  std::array<uint32_t, kBlockSize + 1> mul;
  std::array<uint32_t, kBlockSize + 1> add;
};

constexpr Jumps MakeJumps() {
  Jumps j{};
  j.mul[0] = 1u;
  j.add[0] = 0u;
  for (size_t k = 0; k < kBlockSize; ++k) {
    j.mul[k + 1] = j.mul[k] * kMultiplier;
    j.add[k + 1] = j.add[k] * kMultiplier + kIncrement;
  }
  return j;
}

inline constexpr Jumps kJumps = MakeJumps();

}  // namespace lcg

// The program's one random generator: a 32-bit linear congruential sequence.
// Each value is ((seed >> 16) & 0x7FFF) / 32768, scaled and offset by its owner.
class QSNoiseSource {
 public:
  explicit QSNoiseSource(int32_t seed, double offset = 0.0, double scale = 1.0)
      : seed_(seed), offset_(offset), scale_(scale), floatStep_(FloatStep(offset, scale)) {}
  // The seed each owner takes, its own: the calendar time mixed with how many
  // sources were made before, so that sources made in the same second do not
  // play the same sequence. UI thread (any thread is safe).
  static int32_t ClockSeed();
  // From now on every seed derives from base instead of the time, so that a
  // render comes out the same every time (tonegarden-render --seed).
  static void FixSeeds(uint32_t base);

  void SetOffset(double offset) {
    offset_ = offset;
    floatStep_ = FloatStep(offset_, scale_);
  }
  void SetScale(double scale) {
    scale_ = scale;
    floatStep_ = FloatStep(offset_, scale_);
  }
  int32_t Seed() const { return seed_; }

  // Audio thread.
  double Next() {
    const uint32_t s = static_cast<uint32_t>(seed_);
    seed_ = static_cast<int32_t>(s * lcg::kMultiplier + lcg::kIncrement);
    return ValueOf(s, scale_, offset_);
  }
  // Audio thread: the next kBlockSize values, the very ones as many Next()
  // calls give.
  void NextBlock(double* out) {
    Generate(kBlockSize, [out](int i, double v) { out[i] = v; });
  }
  // Audio thread: one block of values.
  void Fill(float* out) {
    if (floatStep_ > 0.0f) {
      GenerateExact(kBlockSize, [out](int i, float v) { out[i] = v; });
    } else {
      Generate(kBlockSize, [out](int i, double v) { out[i] = static_cast<float>(v); });
    }
  }

 protected:
  // Where the values are exact as floats, GenerateExact gives them.
  bool ExactInFloat() const { return floatStep_ > 0.0f; }
  // The same values as Generate, as floats, where ExactInFloat: each is then
  // a 15-bit whole number times a power of two, so the float sums give the
  // very values the double ones round to, four to a register.
  template <typename Sink>
  void GenerateExact(int count, Sink&& sink) {
    const uint32_t s = static_cast<uint32_t>(seed_);
    const float step = floatStep_;
    for (int i = 0; i < count; ++i) {
      const uint32_t si =
          lcg::kJumps.mul[static_cast<size_t>(i)] * s + lcg::kJumps.add[static_cast<size_t>(i)];
      sink(i, static_cast<float>(static_cast<int32_t>((si >> 16) & 0x7FFFu) - 16384) * step);
    }
    seed_ = static_cast<int32_t>(lcg::kJumps.mul[static_cast<size_t>(count)] * s +
                                 lcg::kJumps.add[static_cast<size_t>(count)]);
  }

  // Calls sink(i, value) for the next count (at most kBlockSize) values in
  // order. Each seed comes straight from the first by a jump, so the values
  // do not wait for each other and the loop vectorises.
  template <typename Sink>
  void Generate(int count, Sink&& sink) {
    const uint32_t s = static_cast<uint32_t>(seed_);
    const double scale = scale_;
    const double offset = offset_;
    for (int i = 0; i < count; ++i)
      sink(i, ValueOf(lcg::kJumps.mul[static_cast<size_t>(i)] * s +
                          lcg::kJumps.add[static_cast<size_t>(i)],
                      scale, offset));
    seed_ = static_cast<int32_t>(lcg::kJumps.mul[static_cast<size_t>(count)] * s +
                                 lcg::kJumps.add[static_cast<size_t>(count)]);
  }

 private:
  static double ValueOf(uint32_t s, double scale, double offset) {
    // At most 15 bits: as a signed int it converts the same, in one instruction.
    const auto v = static_cast<int32_t>((s >> 16) & 0x7FFFu);
    return static_cast<double>(v) * (1.0 / 32768.0) * scale + offset;
  }

  // scale / 32768 where the offset is minus half the scale and the scale a
  // power of two (values from −scale/2 in steps of it), else 0.
  static float FloatStep(double offset, double scale) {
    int exponent = 0;
    if (!(scale > 0.0) || std::frexp(scale, &exponent) != 0.5 || offset != -0.5 * scale)
      return 0.0f;
    const double step = scale / 32768.0;
    return step >= 0x1p-126 && step <= 0x1p100 ? static_cast<float>(step) : 0.0f;
  }

  int32_t seed_;
  double offset_;
  double scale_;
  float floatStep_;
};

}  // namespace tg
