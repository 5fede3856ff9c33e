#include "contraptions/filters/paraeq/TGParametric.h"

#include <algorithm>

#include "dsp/NonFinite.h"

namespace tg {

TGParametric::TGParametric(QSDynSigContext* context, int channels)
    : QSSignalProcessor(context, channels, channels), channels_(channels) {
  for (int c = 0; c < channels_; ++c) SetOutletSignal(c, &out_[c]);
}

QSPropertyTable* TGParametric::GetPropertyTable() {
  // Both types have the same parameters at the same places.
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    const QSPropertyUnits& hz = QSFrequencyUnits::Get();
    const QSPropertyUnits& db = QSGainUnits::Get();
    add(hsCutoff, "HSCutoffFrequency", hz, 3000.0, 18000.0);
    add(hsGain, "HSGain", db, -30.0, 30.0);
    // The bandwidth's range is what the editor reaches, so that it holds
    // the default narrow band too.
    for (ParametricBand& band : bands) {
      add(band.centre, "BPCenterFrequency", hz, 50.0, 15000.0);
      add(band.bandwidth, "BPBandwidth", hz, 10.0, 2000.0);
      add(band.gain, "BPGain", db, -30.0, 30.0);
    }
    add(lsCutoff, "LSCutoffFrequency", hz, 20.0, 3000.0);
    add(lsGain, "LSGain", db, -30.0, 30.0);
  });
}

bool TGParametric::TakeTargets() {
  QSDoubleProperty* settings[kSettings] = {&hsCutoff, &hsGain};
  int k = 2;
  for (ParametricBand& band : bands) {
    settings[k++] = &band.centre;
    settings[k++] = &band.bandwidth;
    settings[k++] = &band.gain;
  }
  settings[k++] = &lsCutoff;
  settings[k] = &lsGain;
  bool changed = false;
  for (int i = 0; i < kSettings; ++i) {
    // Every flag is taken, changed or not.
    changed = settings[i]->TakeChanged() || changed;
    target_[static_cast<size_t>(i)] = settings[i]->Value();
  }
  return changed;
}

void TGParametric::Design() {
  coefficients_.SetHighShelf(now_[0], now_[1]);
  for (int b = 0; b < QSFourBandEq::kBands; ++b) {
    const auto at = static_cast<size_t>(2 + 3 * b);
    coefficients_.SetBand(b, now_[at], now_[at + 1], now_[at + 2]);
  }
  coefficients_.SetLowShelf(now_[kSettings - 2], now_[kSettings - 1]);
}

void TGParametric::Reset() {
  for (int c = 0; c < channels_; ++c) {
    dc_[c].Clear();
    eq_[c].Clear();
  }
}

void TGParametric::Process() {
  if (TakeTargets()) {
    // The first settings are taken at once; later ones glide through a block
    // in steps, each a small change of the sections, so no gain steps.
    glideLeft_ = designed_ ? kGlideSteps : 0;
    if (!designed_) {
      now_ = target_;
      Design();
      designed_ = true;
    }
  }
  for (int c = 0; c < channels_; ++c) {
    const float* x = InletSignal(c).Data();
    float* y = out_[c].Data();
    std::copy(x, x + kBlockSize, y);
    noise_.AddTo(y, kBlockSize);
    // The sections keep state: a NaN once would stay.
    SilenceNonFinite(y, kBlockSize);
    dc_[c].Process(y, kBlockSize);
  }
  if (glideLeft_ == 0) {
    for (int c = 0; c < channels_; ++c) eq_[c].Process(coefficients_, out_[c].Data(), kBlockSize);
    return;
  }
  // The sections are designed anew every few samples and their
  // coefficients move in straight lines in between.
  constexpr int kStep = kBlockSize / kGlideSteps;
  for (int from = 0; from < kBlockSize; from += kStep) {
    const QSFourBandEq before = coefficients_;
    for (size_t i = 0; i < now_.size(); ++i) now_[i] += (target_[i] - now_[i]) / glideLeft_;
    if (--glideLeft_ == 0) now_ = target_;
    Design();
    for (int c = 0; c < channels_; ++c)
      eq_[c].Glide(before, coefficients_, out_[c].Data() + from, kStep);
  }
}

}  // namespace tg
