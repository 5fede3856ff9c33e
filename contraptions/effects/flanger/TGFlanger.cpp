#include "contraptions/effects/flanger/TGFlanger.h"

#include <algorithm>

#include "dsp/NonFinite.h"

namespace tg {

TGFlanger::TGFlanger(QSDynSigContext* context) : QSSignalProcessor(context, 1, 1) {
  SetOutletSignal(0, &out_);
}

QSPropertyTable* TGFlanger::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    const QSPropertyUnits& hz = QSFrequencyUnits::Get();
    add(minFrequency, "MinFrequency", hz, kMinFrequency, kMaxFrequency);
    add(maxFrequency, "MaxFrequency", hz, kMinFrequency, kMaxFrequency);
    add(rate, "Rate", hz, kMinRate, kMaxRate);
    add(feedback, "Feedback", QSFractionUnits::Get(), 0.0, kMaxFeedback);
    add(wetDryMix, "WetDryMix", QSFractionUnits::Get(), 0.0, 1.0);
  });
}

void TGFlanger::Reset() {
  comb_.Clear();
  dc_.Clear();
  lfo_.Restart();
  // The next block sets every coefficient again, as the first one did.
  for (QSProperty* p : {static_cast<QSProperty*>(&rate), static_cast<QSProperty*>(&feedback),
                        static_cast<QSProperty*>(&wetDryMix)})
    p->RaiseChanged();
}

void TGFlanger::Process() {
  if (rate.TakeChanged()) lfo_.SetRate(rate.ValueWithin(kMinRate, kMaxRate));
  if (feedback.TakeChanged()) comb_.feedback.Set(feedback.ValueWithin(0.0, kMaxFeedback));
  mix_.NextBlock();
  if (wetDryMix.TakeChanged()) mix_.Recompute(wetDryMix.ValueWithin(0.0, 1.0));

  // The sweep moves the comb's delay every sample: one period of the
  // frequency it has reached.
  alignas(64) float delays[kBlockSize];
  lfo_.Fill(delays);
  const double lo = minFrequency.ValueWithin(kMinFrequency, kMaxFrequency);
  const double hi = maxFrequency.ValueWithin(kMinFrequency, kMaxFrequency);
  float f = 0.0f;
  for (float& d : delays) {
    f = static_cast<float>(lo + d * (hi - lo));
    d = static_cast<float>(kSampleRate / f);
  }
  comb_.frequency = f;

  const float* x = InletSignal(0).Data();
  float* w = out_.Data();
  std::copy(x, x + kBlockSize, w);
  noise_.AddTo(w, kBlockSize);
  // The comb and the blocker feed themselves back: a NaN once would stay.
  SilenceNonFinite(w, kBlockSize);
  dc_.Process(w, kBlockSize);
  comb_.ProcessDelays(w, delays, w);
  mix_.Apply(x, w);
}

}  // namespace tg
