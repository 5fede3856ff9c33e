#include "contraptions/effects/phaser/TGPhaser.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/NonFinite.h"

namespace tg {

namespace {

float Coefficient(float a) { return (1.0f - a) / (1.0f + a); }

}  // namespace

TGPhaser::TGPhaser(QSDynSigContext* context) : QSSignalProcessor(context, 1, 1) {
  SetOutletSignal(0, &out_);
}

QSPropertyTable* TGPhaser::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    const QSPropertyUnits& hz = QSFrequencyUnits::Get();
    add(minFrequency, "MinFrequency", hz, kMinFrequency, kMaxFrequency);
    add(maxFrequency, "MaxFrequency", hz, kMinFrequency, kMaxFrequency);
    add(rate, "Rate", hz, kMinRate, kMaxRate);
    add(feedback, "Feedback", QSFractionUnits::Get(), 0.0, kMaxFeedback);
    add(depth, "Depth", QSFractionUnits::Get(), 0.0, 1.0);
  });
}

std::array<float, 3> TGPhaser::Coefficients(double hz) {
  // The bilinear transform's prewarped break, so that each stage turns the
  // phase by a quarter turn exactly at its frequency.
  const auto a = [hz](double k) {
    return static_cast<float>(std::tan(std::numbers::pi * k * hz / kSampleRate));
  };
  return {Coefficient(a(1.0)), Coefficient(a(1.1)), Coefficient(a(1.2))};
}

void TGPhaser::Reset() {
  inputDc_.Clear();
  feedbackDc_.Clear();
  for (FirstOrderAllpass& s : stages_) s.Clear();
  fb_ = 0.0f;
  lfo_.Restart();
  feedbackRamp_ = QSVInterp{};
  depthRamp_ = QSVInterp{};
  feedback.RaiseChanged();
  depth.RaiseChanged();
}

void TGPhaser::Process() {
  if (rate.TakeChanged()) lfo_.SetRate(rate.ValueWithin(kMinRate, kMaxRate));
  alignas(64) float sweep[kBlockSize];
  lfo_.Fill(sweep);
  const double lo = minFrequency.ValueWithin(kMinFrequency, kMaxFrequency);
  const double hi = maxFrequency.ValueWithin(kMinFrequency, kMaxFrequency);

  const float* x = InletSignal(0).Data();
  float* w = out_.Data();
  std::copy(x, x + kBlockSize, w);
  noise_.AddTo(w, kBlockSize);
  // The stages and the loop keep state: a NaN once would stay.
  SilenceNonFinite(w, kBlockSize);
  inputDc_.Process(w, kBlockSize);

  // Feedback and depth glide through the block, stepped before each sample.
  if (feedback.TakeChanged()) feedbackRamp_.Set(feedback.ValueWithin(0.0, kMaxFeedback));
  if (depth.TakeChanged()) depthRamp_.Set(depth.ValueWithin(0.0, 1.0));
  float fb = fb_;
  float cA = 0.0f, cB = 0.0f, cC = 0.0f;
  for (int i = 0; i < kBlockSize; ++i) {
    // The breaks follow the sweep every few samples.
    if (i % kSweepStep == 0) {
      break_ = lo + sweep[i] * (hi - lo);
      const std::array<float, 3> c = Coefficients(break_);
      cA = c[0];
      cB = c[1];
      cC = c[2];
    }
    feedbackRamp_.Step();
    float u = static_cast<float>(fb * feedbackRamp_.Value() + w[i]);
    u = stages_[0].Tick(u, cC);
    u = stages_[1].Tick(u, cC);
    u = stages_[2].Tick(u, cB);
    u = stages_[3].Tick(u, cB);
    u = stages_[4].Tick(u, cA);
    u = stages_[5].Tick(u, cA);
    w[i] = u;
    fb = feedbackDc_.Tick(u);
  }
  fb_ = fb;

  alignas(64) float d[kBlockSize];
  depthRamp_.StepGains(d);
  for (int i = 0; i < kBlockSize; ++i) w[i] = w[i] * d[i] + x[i];
}

}  // namespace tg
