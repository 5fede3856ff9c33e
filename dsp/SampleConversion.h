#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The largest magnitudes of a stereo block's 16-bit samples.
struct Peaks16 {
  int left = 0;
  int right = 0;
};

#if defined(__SSE2__)
namespace conversion {

// Four ToSample16 values as 32-bit lanes: NaN to zero first, then the limits
// (minps and maxps keep the sample unless it is beyond them), then truncation.
inline __m128i FourSamples16(const float* x) {
  __m128 y = _mm_mul_ps(_mm_loadu_ps(x), _mm_set1_ps(32767.0f));
  y = _mm_and_ps(y, _mm_cmpord_ps(y, y));
  y = _mm_min_ps(y, _mm_set1_ps(32767.0f));
  y = _mm_max_ps(y, _mm_set1_ps(-32767.0f));
  return _mm_cvttps_epi32(y);
}

// The largest of max's lanes and of minus min's lanes.
inline int PeakOf(__m128i max, __m128i min) {
  alignas(16) int16_t highest[8];
  alignas(16) int16_t lowest[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(highest), max);
  _mm_store_si128(reinterpret_cast<__m128i*>(lowest), min);
  int peak = 0;
  for (int i = 0; i < 8; ++i) peak = std::max({peak, int{highest[i]}, -int{lowest[i]}});
  return peak;
}

}  // namespace conversion
#endif

// Audio thread: count frames of left and right as interleaved ToSample16
// values; answers the peaks. The compiler turns the plain loop into a slow
// tangle of 16-bit selects, so SSE2 does eight frames at a time by hand.
inline Peaks16 ToSamples16(const float* __restrict left, const float* __restrict right,
                           int16_t* __restrict out, int count) {
  Peaks16 peaks;
  int i = 0;
#if defined(__SSE2__)
  __m128i maxLeft = _mm_setzero_si128();
  __m128i minLeft = maxLeft;
  __m128i maxRight = maxLeft;
  __m128i minRight = maxLeft;
  for (; i + 8 <= count; i += 8) {
    // Within ±32767, so the saturating packs only narrow.
    const __m128i l = _mm_packs_epi32(conversion::FourSamples16(left + i),
                                      conversion::FourSamples16(left + i + 4));
    const __m128i r = _mm_packs_epi32(conversion::FourSamples16(right + i),
                                      conversion::FourSamples16(right + i + 4));
    auto* to = reinterpret_cast<__m128i*>(out + 2 * static_cast<ptrdiff_t>(i));
    _mm_storeu_si128(to, _mm_unpacklo_epi16(l, r));
    _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(l, r));
    maxLeft = _mm_max_epi16(maxLeft, l);
    minLeft = _mm_min_epi16(minLeft, l);
    maxRight = _mm_max_epi16(maxRight, r);
    minRight = _mm_min_epi16(minRight, r);
  }
  peaks.left = conversion::PeakOf(maxLeft, minLeft);
  peaks.right = conversion::PeakOf(maxRight, minRight);
#endif
  for (; i < count; ++i) {
    const int16_t l = ToSample16(left[i]);
    const int16_t r = ToSample16(right[i]);
    out[2 * static_cast<ptrdiff_t>(i)] = l;
    out[2 * static_cast<ptrdiff_t>(i) + 1] = r;
    peaks.left = std::max(peaks.left, l < 0 ? -l : static_cast<int>(l));
    peaks.right = std::max(peaks.right, r < 0 ? -r : static_cast<int>(r));
  }
  return peaks;
}

// Audio thread: count interleaved 16-bit frames as left and right samples,
// each value × scale; answers the peaks (32768 for -32768).
inline Peaks16 FromSamples16(const int16_t* __restrict in, float scale, float* __restrict left,
                             float* __restrict right, int count) {
  int16_t maxLeft = 0;
  int16_t minLeft = 0;
  int16_t maxRight = 0;
  int16_t minRight = 0;
  for (int i = 0; i < count; ++i) {
    const int16_t l = in[2 * static_cast<ptrdiff_t>(i)];
    const int16_t r = in[2 * static_cast<ptrdiff_t>(i) + 1];
    left[i] = static_cast<float>(l) * scale;
    right[i] = static_cast<float>(r) * scale;
    maxLeft = std::max(maxLeft, l);
    minLeft = std::min(minLeft, l);
    maxRight = std::max(maxRight, r);
    minRight = std::min(minRight, r);
  }
  return {std::max<int>(maxLeft, -minLeft), std::max<int>(maxRight, -minRight)};
}

}  // namespace tg
