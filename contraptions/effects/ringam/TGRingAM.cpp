#include "contraptions/effects/ringam/TGRingAM.h"

#include <algorithm>

#include "dsp/NonFinite.h"

namespace tg {

TGRingAM::TGRingAM(QSDynSigContext* context) : QSSignalProcessor(context, 2, 1) {
  SetOutletSignal(0, &out_);
  sine_.AddSine(1.0f, 1.0f, 0.0f, 0.0f);
}

QSPropertyTable* TGRingAM::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    add(frequency, "Frequency", QSFrequencyUnits::Get(), kMinFrequency, kMaxFrequency);
    add(am, "AM");
  });
}

void TGRingAM::Reset() {
  signalDc_.Clear();
  modulatorDc_.Clear();
  oscillator_.SetPhase(0.0);
  amShare_ = QSVInterp{};
  am.RaiseChanged();
}

void TGRingAM::Process() {
  if (frequency.TakeChanged()) {
    // A document may hold any number; outside the knob's range there is
    // nothing musical, and at zero or below the sine would stand still or run backwards.
    oscillator_.SetFrequency(std::clamp(frequency.Value(), kMinFrequency, kMaxFrequency));
  }
  noise_.Fill(out_.Data());
  out_ += InletSignal(0);
  // The DC blockers remember: one NaN would silence them for good.
  SilenceNonFinite(out_.Data(), kBlockSize);
  signalDc_.Process(out_.Data(), kBlockSize);

  if (am.TakeChanged()) amShare_.Set(am.Value() ? 1.0 : 0.0);
  if (IsInletConnected(1)) {
    noise_.Fill(modulator_.Data());
    modulator_ += InletSignal(1);
    SilenceNonFinite(modulator_.Data(), kBlockSize);
    modulatorDc_.Process(modulator_.Data(), kBlockSize);
    out_ *= modulator_;
    return;
  }
  oscillator_.Fill(modulator_.Data());
  float* out = out_.Data();
  const float* s = modulator_.Data();
  if (!amShare_.Settled()) {
    // A switch of mode crossfades through a block (5.8 ms): ring (share 0)
    // and AM (share 1) modulators are mixed, s + share × (1 − s) / 2.
    alignas(64) float share[kBlockSize];
    amShare_.StepGains(share);
    for (int i = 0; i < kBlockSize; ++i) out[i] = (s[i] + share[i] * (1.0f - s[i]) * 0.5f) * out[i];
  } else if (amShare_.Value() != 0.0) {
    for (int i = 0; i < kBlockSize; ++i) out[i] = (s[i] + 1.0f) * 0.5f * out[i];
  } else {
    for (int i = 0; i < kBlockSize; ++i) out[i] = s[i] * out[i];
  }
}

}  // namespace tg
