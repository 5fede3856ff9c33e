#include "contraptions/mixers/matrices/TGGateMatrix.h"

#include <algorithm>
#include <cmath>

#include "dsp/BlockOps.h"

namespace tg {

namespace {

void Fade(GainSmoother& level, double fadeMilliseconds) {
  // The editor offers nothing shorter than a millisecond: a document's
  // shorter fade (or none) is heard as the editor shows it, not as a click.
  const double ms = fadeMilliseconds >= TGGateMatrix::kMinFadeTime
                        ? std::min(fadeMilliseconds, TGGateMatrix::kMaxFadeTime)
                        : TGGateMatrix::kMinFadeTime;
  level.SetCutoff(1000.0 / ms);
}

}  // namespace

TGGateMatrix::TGGateMatrix(QSDynSigContext* context, int size)
    : QSSignalProcessor(context, size, size), size_(size), outputs_(static_cast<size_t>(size)) {
  levels_.reserve(static_cast<size_t>(size * size));
  for (int k = 0; k < size * size; ++k) {
    levels_.emplace_back(static_cast<float>(kSampleRate), 20.0);
    levels_.back().SetSnapToTarget(true);  // an open gate passes its input at exactly 1
  }
  for (int j = 0; j < size; ++j) SetOutletSignal(j, &outputs_[static_cast<size_t>(j)]);
}

void TGGateMatrix::SetFade(double fadeMilliseconds) {
  for (GainSmoother& level : levels_) Fade(level, fadeMilliseconds);
}

float TGGateMatrix::FadePole(double fadeMilliseconds) {
  GainSmoother probe(static_cast<float>(kSampleRate), 20.0);
  Fade(probe, fadeMilliseconds);
  return probe.Pole();
}

void TGGateMatrix::Reset() {
  for (GainSmoother& level : levels_) level.Clear();
  fadeTime.RaiseChanged();
}

void TGGateMatrix::Process() {
  if (fadeTime.TakeChanged()) SetFade(fadeTime.Value());
  for (int j = 0; j < size_; ++j) {
    float* out = outputs_[static_cast<size_t>(j)].Data();
    for (int i = 0; i < size_; ++i) {
      GainSmoother& level = levels_[static_cast<size_t>(i * size_ + j)];
      const bool on = gate(i, j).Value();
      if (on || level.Value() != 0.0f) {
        level.SetTarget(on ? 1.0 : 0.0);
        const float* in = InletSignal(i).Data();
        if (i == 0) {
          level.Apply(in, out);
        } else {
          level.ApplyAdd(in, out);
        }
      } else if (i == 0) {
        // A gate off and faded out costs nothing.
        std::fill(out, out + kBlockSize, 0.0f);
      }
    }
  }
}

}  // namespace tg
