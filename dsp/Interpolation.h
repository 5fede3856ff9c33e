#pragma once

#include <cstdint>

namespace tg {

// The value of a table with a guard entry at a fractional index in
// [0, size], interpolated linearly between the entries around it. An index
// of exactly size reads the guard entry and nothing past it.
inline float QSInterpLookup(const float* table, float index) {
  const auto i = static_cast<int32_t>(index);
  const float frac = index - static_cast<float>(i);
  if (frac == 0.0f) return table[i];
  return table[i] + (table[i + 1] - table[i]) * frac;
}

// The integer part of a non-negative float.
inline int32_t QSTruncate(float x) { return static_cast<int32_t>(x); }

}  // namespace tg
