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

namespace {

// Takes every flag, changed or not, and tells whether any was raised.
template <typename... Properties>
bool TakeAnyChanged(Properties&... properties) {
  bool any = false;
  ((any = properties.TakeChanged() || any), ...);
  return any;
}

}  // namespace

void TGParametric::UpdateCoefficients() {
  for (int b = 0; b < QSFourBandEq::kBands; ++b) {
    ParametricBand& band = bands[static_cast<size_t>(b)];
    if (TakeAnyChanged(band.centre, band.bandwidth, band.gain))
      coefficients_.SetBand(b, band.centre.Value(), band.bandwidth.Value(), band.gain.Value());
  }
  if (TakeAnyChanged(lsCutoff, lsGain)) coefficients_.SetLowShelf(lsCutoff.Value(), lsGain.Value());
  if (TakeAnyChanged(hsCutoff, hsGain))
    coefficients_.SetHighShelf(hsCutoff.Value(), hsGain.Value());
}

void TGParametric::Reset() {
  for (int c = 0; c < channels_; ++c) {
    dc_[c].Clear();
    eq_[c].Clear();
  }
}

void TGParametric::Process() {
  UpdateCoefficients();
  for (int c = 0; c < channels_; ++c) {
    const float* x = InletSignal(c).Data();
    float* y = out_[c].Data();
    std::copy(x, x + kBlockSize, y);
    noise_.AddTo(y, kBlockSize);
    // The sections keep state: a NaN once would stay.
    SilenceNonFinite(y, kBlockSize);
    dc_[c].Process(y, kBlockSize);
    eq_[c].Process(coefficients_, y, kBlockSize);
  }
}

}  // namespace tg
