#include "contraptions/effects/sdelay/TGSDelay.h"

#include <algorithm>
#include <cmath>

#include "dsp/NonFinite.h"
#include "graph/QSDynSigContext.h"

namespace tg {

namespace {

// The right line's feed (and the left's, from the second input): the input
// plus the noise plus the right line's output × feedback. The blocks are the
// processor's own, and apart.
void FeedStereo(const double* __restrict noise, const float* __restrict dry0,
                const float* __restrict dry1, const float* __restrict wet,
                const double* __restrict fb, float* __restrict feedA, float* __restrict feedB) {
  for (int i = 0; i < kBlockSize; ++i) {
    const double c = noise[i] + wet[i] * fb[i];
    feedA[i] = static_cast<float>(dry0[i] + c);
    feedB[i] = static_cast<float>(dry1[i] + c);
  }
}

void FeedMono(const double* __restrict noise, const float* __restrict dry0,
              const float* __restrict wet, const double* __restrict fb, float* __restrict feedA) {
  for (int i = 0; i < kBlockSize; ++i) {
    feedA[i] = static_cast<float>(noise[i] + dry0[i] + wet[i] * fb[i]);
  }
}

}  // namespace

TGSDelay::TGSDelay(QSDynSigContext* context) : QSSignalProcessor(context, 2, 2) {
  SetOutletSignal(0, &leftOut_);
  SetOutletSignal(1, &rightOut_);
}

QSPropertyTable* TGSDelay::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    // In milliseconds or semiquavers as DelayUnits says: 20 … 2000 ms or 1 … 32.
    add(leftDelay, "LeftDelay", QSAbstractUnits::Get(), 1.0, kMaxDelayMs);
    add(rightDelay, "RightDelay", QSAbstractUnits::Get(), 1.0, kMaxDelayMs);
    add(feedback, "Feedback", QSFractionUnits::Get(), 0.0, 1.0);
    add(wetDryMix, "WetDryMix", QSFractionUnits::Get(), 0.0, 1.0);
    add(delayUnits, "DelayUnits", QSAbstractUnits::Get(), 0.0, 1.0);
  });
}

double TGSDelay::MillisecondsPerSemiquaver(double samplesPerClock) {
  return samplesPerClock * 6.0 / kSampleRate * 1000.0;
}

void TGSDelay::Process() {
  double l = leftDelay.Value();
  double r = rightDelay.Value();
  if (delayUnits.Value() == 1) {
    const double spc = Context() != nullptr ? Context()->Clock().SamplesPerClock()
                                            : TempoClock::kDefaultSamplesPerClock;
    const double m = MillisecondsPerSemiquaver(spc);
    // Truncated like the stored values, but in double: a wild value cannot overflow.
    l = std::trunc(l * m);
    r = std::trunc(r * m);
  }
  l = std::clamp(l, static_cast<double>(kMinDelayMs), static_cast<double>(kMaxDelayMs));
  r = std::clamp(r, static_cast<double>(kMinDelayMs), static_cast<double>(kMaxDelayMs));
  leftLine_.Read(leftOut_.Data(), l * 0.001);
  rightLine_.Read(rightOut_.Data(), r * 0.001);

  dry0_.CopyFrom(InletSignal(0));
  // The feedback glides through the block, stepped before each sample.
  if (feedback.TakeChanged()) feedbackRamp_.Set(feedback.Value());
  alignas(64) double fb[kBlockSize];
  for (double& g : fb) {
    feedbackRamp_.Step();
    g = feedbackRamp_.Value();
  }
  const bool stereo = IsInletConnected(1);
  // The block's denormal noise first, then the feedback arithmetic (in
  // double, as ever) in loops that vectorise.
  alignas(64) double noise[kBlockSize];
  noise_.NextBlock(noise);
  if (stereo) {
    dry1_.CopyFrom(InletSignal(1));
    FeedStereo(noise, dry0_.Data(), dry1_.Data(), rightOut_.Data(), fb, feedA_.Data(),
               feedB_.Data());
    // The lines feed themselves back: a NaN written once would echo for ever.
    SilenceNonFinite(feedA_.Data(), kBlockSize);
    SilenceNonFinite(feedB_.Data(), kBlockSize);
    rightLine_.Write(feedA_.Data());
    leftLine_.Write(feedB_.Data());
  } else {
    FeedMono(noise, dry0_.Data(), rightOut_.Data(), fb, feedA_.Data());
    SilenceNonFinite(feedA_.Data(), kBlockSize);
    rightLine_.Write(feedA_.Data());
    leftLine_.Write(feedA_.Data());
  }
  mix_.NextBlock();
  if (wetDryMix.TakeChanged()) mix_.Recompute(wetDryMix.Value());
  mix_.Apply(dry0_.Data(), leftOut_.Data());
  mix_.Apply(stereo ? dry1_.Data() : dry0_.Data(), rightOut_.Data());
}

}  // namespace tg
