#include "contraptions/mixers/crossfader/TGCrossfader.h"

#include <algorithm>
#include <cmath>

namespace tg {

namespace {

// A gain the smoother can take: not a number or an infinity gives silence.
double Finite(double gain) { return std::isfinite(gain) ? gain : 0.0; }

}  // namespace

TGCrossfader::TGCrossfader(QSDynSigContext* context) : QSSignalProcessor(context, 4, 2) {
  SetOutletSignal(0, &left_);
  SetOutletSignal(1, &right_);
}

QSPropertyTable* TGCrossfader::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    const QSPropertyUnits& gain = QSGainUnits::Get();
    add(masterGain, "MasterGain", gain, 0.0, 1.5);
    add(trimA, "TrimA", gain, 0.0, 1.5);
    add(trimB, "TrimB", gain, 0.0, 1.5);
    add(fade, "Fade", QSAbstractUnits::Get(), 0.0, 1.0);
  });
}

TGCrossfader::Gains TGCrossfader::FadeLaw(double fade) {
  // Past either end the far source would turn negative: the ends hold.
  const double f = std::isnan(fade) ? 0.0 : std::clamp(fade, 0.0, 1.0);
  return {.a = f < 0.5 ? 1.0 : (0.5 - (f - 0.5)) * 2.0, .b = f <= 0.5 ? f * 2.0 : 1.0};
}

void TGCrossfader::Reset() {
  // As at construction: the sources fade in from silence.
  for (GainSmoother* s : {&a_[0], &a_[1], &b_[0], &b_[1]})
    *s = GainSmoother(kSampleRateF, kSmootherCutoffHz);
}

template <bool kAdd>
void TGCrossfader::RunSource(int firstInlet, double gain, GainSmoother (&smoothers)[2]) {
  const bool firstConnected = IsInletConnected(firstInlet);
  const bool secondConnected = IsInletConnected(firstInlet + 1);
  const QSSignal& l = InletSignal(firstConnected ? firstInlet : firstInlet + 1);
  const QSSignal& r = InletSignal(secondConnected ? firstInlet + 1 : firstInlet);
  QSSignal* outs[2] = {&left_, &right_};
  const QSSignal* ins[2] = {&l, &r};
  for (int c = 0; c < 2; ++c) {
    smoothers[c].SetTarget(static_cast<float>(gain));
    if constexpr (kAdd) {
      smoothers[c].ApplyAdd(ins[c]->Data(), outs[c]->Data());
    } else {
      smoothers[c].Apply(ins[c]->Data(), outs[c]->Data());
    }
  }
}

void TGCrossfader::Process() {
  const Gains g = FadeLaw(fade.Value());
  // Held to their ranges: a document's 1e39 would be an infinite float gain.
  const double master = masterGain.ValueWithin(0.0, 1.5);
  RunSource<false>(0, Finite(g.a * trimA.ValueWithin(0.0, 1.5) * master), a_);
  RunSource<true>(2, Finite(g.b * trimB.ValueWithin(0.0, 1.5) * master), b_);
}

}  // namespace tg
