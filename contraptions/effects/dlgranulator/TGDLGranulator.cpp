#include "contraptions/effects/dlgranulator/TGDLGranulator.h"

#include <algorithm>
#include <cmath>

#include "dsp/NonFinite.h"
#include "dsp/granular/GrainPan.h"
#include "graph/QSDynSigContext.h"

namespace tg {

namespace {

// Whole milliseconds give whole samples exactly (50 ms is 2205, not 2204.99…).
constexpr double DelaySamples(double ms) { return ms * kSampleRate / 1000.0; }
constexpr double kBlockSeconds = kBlockSize / kSampleRate;
constexpr int kGrainVoices = TGDLGranulator::kVoices;

// The pole of the program's one-pole filters for a corner of radians per sample.
double OnePolePole(double radiansPerSample) {
  const double c = 2.0 - std::cos(radiansPerSample);
  return c - std::sqrt(c * c - 1.0);
}

}  // namespace

TGDLGranulator::TGDLGranulator(QSDynSigContext* context) : QSSignalProcessor(context, 1, 2) {
  SetOutletSignal(0, &left_);
  SetOutletSignal(1, &right_);
  GrainPan::Prepare();
  const double pole = OnePolePole(100530.9632 / kSampleRate);  // 16000 Hz
  lowpassB_ = static_cast<float>(pole);
  lowpassA_ = static_cast<float>(1.0 - pole);
}

QSPropertyTable* TGDLGranulator::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    const QSPropertyUnits& ms = QSTimeMillisecondsUnits::Get();
    const QSPropertyUnits& fraction = QSFractionUnits::Get();
    const QSPropertyUnits& abstract = QSAbstractUnits::Get();
    add(inputGain, "InputGain", QSGainUnits::Get(), 0.0, 1.5);
    add(amplitude, "Amplitude", QSVolumeUnits::Get(), 0.0, 1.0);
    add(panning, "Panning", QSPanningUnits::Get(), 0.0, 1.0);
    add(delayTime, "DelayTime", ms, 0.0, 9500.0);
    add(feedback, "Feedback", fraction, 0.0, kMaxFeedback);
    add(wetDryMix, "WetDryMix", fraction, 0.0, 1.0);
    add(pitchScaler, "PitchScaler", QSTranspositionUnits::Get(), 0.25, 4.0);
    add(interonsetTime, "InteronsetTime", ms, 2.0, 2000.0);
    add(quantizeAmount, "QuantizeAmount", fraction, 0.0, 1.0);
    add(quantizeClocks, "QuantizeClocks", abstract, 0.0, kMaxQuantizeClocks);
    add(grainDuration, "GrainDuration", ms, 5.0, 500.0);
    add(attDecRatio, "AttDecRatio", abstract, 0.0, 0.9);
    add(grainSkew, "GrainSkew", abstract, 0.05, 0.95);
    add(maxGrains, "MaxGrains", abstract, 1.0, kGrainVoices);
  });
}

void TGDLGranulator::Reset() {
  pool_.ReleaseAll();
  scheduler_.Reset();
  // A panic must not leave old sound in the line for the next grains (or a
  // frozen line) to play again.
  line_.Clear();
  lowpassY_ = highpassX_ = highpassY_ = 0.0f;
  dc_.Clear();
}

void TGDLGranulator::TakeChanges() {
  const auto reload = [this](QSRangeProperty& p, GrainRangeSources::Range which, double lo,
                             double hi) {
    if (!p.TakeChanged()) return;
    const DoubleRange r = p.ValueWithin(lo, hi);
    draws_.Load(which, r.low, r.high);
  };
  reload(panning, GrainRangeSources::kPan, 0.0, 1.0);
  reload(grainSkew, GrainRangeSources::kSkew, 0.05, 0.95);
  reload(attDecRatio, GrainRangeSources::kSustain, 0.0, 0.9);
  reload(amplitude, GrainRangeSources::kAmplitude, 0.0, 1.0);
  reload(pitchScaler, GrainRangeSources::kRate, 0.25, 4.0);
  reload(delayTime, GrainRangeSources::kWhere, 0.0, 9500.0);
  if (grainDuration.TakeChanged()) {
    const DoubleRange r = grainDuration.ValueWithin(5.0, 500.0);
    draws_.Load(GrainRangeSources::kDuration, r.low, r.high);
    // The shorter the grains, the higher the rumble they make in the loop.
    const double corner = 2.0 * 1000.0 / std::min(r.low, r.high) + 50.0;
    highpassK_ = static_cast<float>(OnePolePole(2.0 * 3.1415926 * corner / kSampleRate));
  }
  if (interonsetTime.TakeChanged()) {
    const DoubleRange r = interonsetTime.ValueWithin(2.0, 2000.0);
    gaps_.Load(DelaySamples(r.low), DelaySamples(r.high));
  }
  mix_.NextBlock();
  if (wetDryMix.TakeChanged()) mix_.Recompute(wetDryMix.ValueWithin(0.0, 1.0));
}

double TGDLGranulator::Normalisation() const {
  const double shape = attDecRatio.ValueWithin(0.0, 0.9).Mean();
  const double gap = DelaySamples(interonsetTime.ValueWithin(2.0, 2000.0).Mean());
  const double length = DelaySamples(grainDuration.ValueWithin(5.0, 500.0).Mean());
  // Overlapping grains add up: keep the sum's power about that of one grain.
  // No more than MaxGrains ever sound together, however dense the stream.
  const double together = std::clamp(
      length / gap, 1.0, static_cast<double>(std::clamp(maxGrains.Value(), 1, kGrainVoices)));
  return (2.0 - shape) / std::sqrt(together);
}

double TGDLGranulator::FeedbackGain() const {
  // How far the transpositions reach from unity, 0 … 1 on an octave scale:
  // untransposed grains sum to a comb that rings, so they are fed back less.
  const DoubleRange rates = pitchScaler.ValueWithin(0.25, 4.0);
  const auto octaves = [](double rate) { return (std::log10(rate) + 0.60206) / 1.20412; };
  const double lo = octaves(rates.low), hi = octaves(rates.high);
  const double reach = 0.5 * std::fabs(hi - lo) + std::fabs((lo + hi) / 2.0 - 0.5);
  const double k = (1.0 - std::exp(-15.0 * reach)) / (1.0 - std::exp(-15.0)) * 0.95 + 0.05;
  const double meanAmplitude = amplitude.ValueWithin(0.0, 1.0).Mean();
  return feedback.ValueWithin(0.0, kMaxFeedback) * 0.95 * k / (0.9 * meanAmplitude + 0.1);
}

OnsetGrid TGDLGranulator::Grid() const {
  if (Context() == nullptr) return {};
  const TempoClock& clock = Context()->Clock();
  OnsetGrid grid = OnsetGrid::Make(clock.IsRunning(), clock.Position(), clock.SamplesPerClock(),
                                   std::clamp(quantizeClocks.Value(), 0, kMaxQuantizeClocks),
                                   quantizeAmount.ValueWithin(0.0, 1.0));
  const double gap = DelaySamples(interonsetTime.ValueWithin(2.0, 2000.0).Mean());
  const double length = DelaySamples(grainDuration.ValueWithin(5.0, 500.0).Mean());
  grid.SetRoll(gap, length);
  return grid;
}

double TGDLGranulator::FirstDelay(const TGDLGrain& g, int from) const {
  const double r = g.rate;
  const double seconds = g.length / kSampleRate;
  double d = g.drawnDelay + from / kSampleRate + kBlockSeconds;
  // A faster grain catches up with the write position: it starts far enough back.
  if (r > 1.0) {
    const double w =
        frozen_ ? r * kBlockSeconds + r * seconds : (r - 1.0) * seconds + r * kBlockSeconds;
    d = std::max(d, w);
  }
  // The whole grain, at its rate over its length, reads what the line holds:
  // each block its read comes nearer the write position by `nearer` samples
  // (or falls back when negative).
  const double blocksAfter = std::floor((from + g.length) / kBlockSize);
  const double nearer = frozen_ ? r * kBlockSize : (r - 1.0) * kBlockSize;
  const double lower = (kBlockSize - 1) * r + 1.0 + std::max(nearer, 0.0) * blocksAfter;
  const double upper = line_.Length() - 1.0 - std::max(-nearer, 0.0) * blocksAfter;
  double s = d * kSampleRate;
  if (!(s >= lower)) s = lower;
  if (s > upper) s = upper;
  return s / kSampleRate;
}

double TGDLGranulator::DelayWithinLine(double delay, double rate) const {
  // This block's reads lie between the newest sample and the oldest.
  const double lower = (kBlockSize - 1) * rate + 1.0;
  const double upper = line_.Length() - 1.0;
  double s = delay * kSampleRate;
  if (!(s >= lower)) s = lower;
  if (s > upper) s = upper;
  return s / kSampleRate;
}

bool TGDLGranulator::RenderGrain(TGDLGrain& g) {
  return g.voice.Render(left_.Data(), right_.Data(), [this, &g](int from) {
    float* w = work_.Data();
    if (g.spent) {
      std::fill(w, w + kBlockSize, 0.0f);
      return GrainInput{w, w};
    }
    // The delay is fixed when the grain first reads, so a grain that waited
    // for a grid line reads what lay its drawn delay behind its onset.
    if (!g.reading) {
      g.delay = FirstDelay(g, from);
      g.reading = true;
    }
    if (!lineStill_) {
      g.delay = DelayWithinLine(g.delay, g.rate);
      line_.ReadMoving(w, g.delay, g.rate);
      return GrainInput{w, w};
    }
    // A frozen line ends at its write point, where the freeze faded it out.
    // A grain that gets there reads on into silence for the rest of its
    // life, rather than the last block again (a buzz at the block rate) or
    // the oldest sound behind it (a jump).
    const double s = std::min(g.delay * kSampleRate, line_.Length() - 1.0);
    const double readable = std::floor((s - 1.0) / g.rate) + 1.0;
    const int n = readable >= kBlockSize ? kBlockSize
                  : readable > 0.0       ? static_cast<int>(readable)
                                         : 0;
    g.delay = s / kSampleRate;
    if (n > 0) {
      line_.ReadMoving(w, g.delay, g.rate);
    } else {
      g.spent = true;
    }
    std::fill(w + n, w + kBlockSize, 0.0f);
    g.delay -= kBlockSeconds;
    return GrainInput{w, w};
  });
}

void TGDLGranulator::StartGrain(int64_t onset, int64_t pulled, double gain) {
  TGDLGrain* g = pool_.Take(std::clamp(maxGrains.Value(), 1, kGrainVoices));
  if (g == nullptr) return;
  const GrainDraw d = draws_.Draw();
  const double p = std::clamp(d.pan, 0.01, 0.99);
  const double a = d.amplitude * gain;
  g->length = DelaySamples(d.durationMs);
  g->voice.Start(onset, GrainSegments::Of(g->length, d.sustain, d.skew),
                 static_cast<float>(a * GrainPan::Gain(p)),
                 static_cast<float>(a * GrainPan::Gain(1.0 - p)));
  // A grain pulled to the grid reads what it would have read at its own
  // onset: grains moved onto one line keep their places in the sound
  // instead of all reading the same one in phase.
  g->drawnDelay = d.whereMs * 0.001 + static_cast<double>(pulled) / kSampleRate;
  g->rate = d.rate;
  g->reading = false;
  g->spent = false;
  if (RenderGrain(*g)) pool_.GiveBackTaken();
}

void TGDLGranulator::FeedTheLine(const float* in, bool freezeChanged) {
  float* w = work_.Data();
  // Both gains glide through the block, never a step.
  if (inputGain.TakeChanged()) inputRamp_.Set(inputGain.ValueWithin(0.0, 1.5));
  const double back = FeedbackGain();
  if (back != feedbackTarget_) {
    feedbackTarget_ = back;
    feedbackRamp_.Set(back);
  }
  alignas(64) float gainIn[kBlockSize];
  alignas(64) float gainBack[kBlockSize];
  inputRamp_.StepGains(gainIn);
  feedbackRamp_.StepGains(gainBack);
  const float* l = left_.Data();
  const float* r = right_.Data();
  for (int i = 0; i < kBlockSize; ++i) w[i] = in[i] * gainIn[i] + (l[i] + r[i]) * gainBack[i];
  noise_.AddTo(w, kBlockSize);
  // The line keeps what it is given for eleven seconds, the filters for ever.
  SilenceNonFinite(w, kBlockSize);
  limiter_.Process(w, kBlockSize);
  float y = lowpassY_;
  for (int i = 0; i < kBlockSize; ++i) w[i] = y = lowpassA_ * w[i] + lowpassB_ * y;
  lowpassY_ = y;
  float hx = highpassX_, hy = highpassY_;
  for (int i = 0; i < kBlockSize; ++i) {
    const float x = w[i];
    w[i] = hy = highpassK_ * (hy + x - hx);
    hx = x;
  }
  highpassX_ = hx;
  highpassY_ = hy;
  dc_.Process(w, kBlockSize);
  for (int i = 0; i < kBlockSize; ++i)
    if (std::fabs(w[i]) < 1e-6f) w[i] = 0.0f;

  if (freezeChanged) {
    // A click-free edge: the last block written fades out, or the first fades in.
    for (int i = 0; i < kBlockSize; ++i) {
      const float up = static_cast<float>(i) / kBlockSize;
      w[i] *= frozen_ ? 1.0f - up : up;
    }
    line_.Write(w);
  } else if (!frozen_) {
    line_.Write(w);
  }
}

void TGDLGranulator::Process() {
  TakeChanges();
  const bool frozen = freeze.Value();
  const bool freezeChanged = frozen != frozen_;
  frozen_ = frozen;
  lineStill_ = frozen && !freezeChanged;

  left_.Fill(0.0f);
  right_.Fill(0.0f);
  pool_.RenderAll([this](TGDLGrain& g) { return RenderGrain(g); });
  // The level glides when the settings change, so the texture never jumps.
  const double gain = level_.Follow(Normalisation());
  scheduler_.RunBlock(gaps_, Grid(), [this, gain](int64_t onset, int64_t pulled) {
    StartGrain(onset, pulled, gain);
  });

  const float* in = InletSignal(0).Data();
  FeedTheLine(in, freezeChanged);
  mix_.Apply(in, left_.Data());
  mix_.Apply(in, right_.Data());
}

}  // namespace tg
