#pragma once

#include <cstdint>

namespace tg {

// A float sample as a 16-bit value: truncated toward zero and limited to
// ±32767 (so -32768 never occurs); NaN, from a broken processor, as silence
// (converting it would be undefined behaviour).
inline int16_t ToSample16(float x) {
  const float y = x * 32767.0f;
  if (y >= 32767.0f) return 32767;
  if (y <= -32767.0f) return -32767;
  if (y != y) return 0;
  return static_cast<int16_t>(y);
}

}  // namespace tg
