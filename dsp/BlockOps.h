#pragma once

#include "dsp/BlockConstants.h"

namespace tg {

// Whole-block gain loops. A block is either the very block it is written to
// or does not overlap it at all (blocks never partly overlap), so each loop
// has an in-place form and a form whose pointers are declared apart; both
// vectorise without the compiler having to check for overlap at run time.
namespace blockops {

inline void ScaleApart(const float* __restrict in, float g, float* __restrict out) {
  for (int i = 0; i < kBlockSize; ++i) out[i] = in[i] * g;
}
inline void ScaleAddApart(const float* __restrict in, float g, float* __restrict out) {
  for (int i = 0; i < kBlockSize; ++i) out[i] = out[i] + in[i] * g;
}
inline void MulApart(const float* __restrict in, const float* __restrict g, float* __restrict out) {
  for (int i = 0; i < kBlockSize; ++i) out[i] = in[i] * g[i];
}
inline void MulAddApart(const float* __restrict in, const float* __restrict g,
                        float* __restrict out) {
  for (int i = 0; i < kBlockSize; ++i) out[i] = out[i] + in[i] * g[i];
}
inline void ScaleInPlace(float* __restrict s, float g) {
  for (int i = 0; i < kBlockSize; ++i) s[i] = s[i] * g;
}
inline void ScaleAddInPlace(float* __restrict s, float g) {
  for (int i = 0; i < kBlockSize; ++i) s[i] = s[i] + s[i] * g;
}
inline void MulInPlace(float* __restrict s, const float* __restrict g) {
  for (int i = 0; i < kBlockSize; ++i) s[i] = s[i] * g[i];
}
inline void MulAddInPlace(float* __restrict s, const float* __restrict g) {
  for (int i = 0; i < kBlockSize; ++i) s[i] = s[i] + s[i] * g[i];
}

}  // namespace blockops

// out[i] = in[i] × g
inline void ScaleBlock(const float* in, float g, float* out) {
  if (in == out) {
    blockops::ScaleInPlace(out, g);
  } else {
    blockops::ScaleApart(in, g, out);
  }
}
// out[i] += in[i] × g
inline void ScaleAddBlock(const float* in, float g, float* out) {
  if (in == out) {
    blockops::ScaleAddInPlace(out, g);
  } else {
    blockops::ScaleAddApart(in, g, out);
  }
}
// out[i] = in[i] × g[i]; g is a block of gains of its own.
inline void MulBlock(const float* in, const float* g, float* out) {
  if (in == out) {
    blockops::MulInPlace(out, g);
  } else {
    blockops::MulApart(in, g, out);
  }
}
// out[i] += in[i] × g[i]
inline void MulAddBlock(const float* in, const float* g, float* out) {
  if (in == out) {
    blockops::MulAddInPlace(out, g);
  } else {
    blockops::MulAddApart(in, g, out);
  }
}

}  // namespace tg
