#include "contraptions/generators/bubbleblower/TGBubbleBlower.h"

#include <algorithm>
#include <cmath>

#include "dsp/granular/GrainPan.h"
#include "files/SoundFilePaths.h"
#include "graph/QSDynSigContext.h"

namespace tg {

namespace {

constexpr double Samples(double ms) { return ms * kSampleRate / 1000.0; }
constexpr int kMaxGrains = TGBubbleBlower::kVoices;
constexpr double kMinDensity = 0.1;
constexpr double kMaxDensity = 2000.0;

}  // namespace

TGBubbleBlower::TGBubbleBlower(QSDynSigContext* context, SoundLoader& loader)
    : QSSignalProcessor(context, 0, 2), sound_(SoundConversion::Frames(kMaxFrames), loader) {
  SetOutletSignal(0, &left_);
  SetOutletSignal(1, &right_);
  GrainPan::Prepare();
  sound_.Follow(file);
}

std::string TGBubbleBlower::ReadProblem() const {
  const std::string note = SoundData::CutNote(ResolveSoundFile(file.Value()), kMaxFrames);
  return note.empty() ? std::string() : "File: \"" + MakeRelativePath(file.Value()) + "\" " + note;
}

QSPropertyTable* TGBubbleBlower::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    const QSPropertyUnits& ms = QSTimeMillisecondsUnits::Get();
    const QSPropertyUnits& abstract = QSAbstractUnits::Get();
    add(file, "File");
    add(amplitude, "Amplitude", QSVolumeUnits::Get(), 0.0, 1.0);
    add(panning, "Panning", QSPanningUnits::Get(), 0.0, 1.0);
    add(inskip, "Inskip", ms, 0.0, 15000.0);
    add(pitchScaler, "PitchScaler", QSTranspositionUnits::Get(), 0.25, 4.0);
    add(density, "Density", abstract, kMinDensity, kMaxDensity);
    add(quantizeAmount, "QuantizeAmount", QSFractionUnits::Get(), 0.0, 1.0);
    add(quantizeClocks, "QuantizeClocks", abstract, 0.0, kMaxQuantizeClocks);
    add(grainDuration, "GrainDuration", ms, 5.0, 500.0);
    add(attDecRatio, "AttDecRatio", abstract, 0.0, 0.9);
    add(grainSkew, "GrainSkew", abstract, 0.05, 0.95);
    add(maxGrains, "MaxGrains", abstract, 1.0, kMaxGrains);
  });
}

void TGBubbleBlower::Reset() {
  pool_.ReleaseAll();
  scheduler_.Reset();
}

bool TGBubbleBlower::TakeSound() {
  const SoundData* sound = sound_.Acquire();
  if (sound != playing_) {
    // The grains read the old data, which goes back to the loader now.
    Reset();
    playing_ = sound;
  }
  // A file that could not be read silences the grains rather than leaving
  // the one before it playing under a name that no longer stands for it.
  const bool usable = sound != nullptr && sound->Frames() > 0 && !sound_.LastLoadFailed();
  if (!usable) Reset();
  return usable;
}

void TGBubbleBlower::TakeChanges() {
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
  reload(grainDuration, GrainRangeSources::kDuration, 5.0, 500.0);
  reload(pitchScaler, GrainRangeSources::kRate, 0.25, 4.0);
  reload(inskip, GrainRangeSources::kWhere, 0.0, 15000.0);
  gaps_.SetDensity(density.ValueWithin(kMinDensity, kMaxDensity));
}

double TGBubbleBlower::Normalisation() const {
  const double shape = attDecRatio.ValueWithin(0.0, 0.9).Mean();
  const double seconds = grainDuration.ValueWithin(5.0, 500.0).Mean() * 0.001;
  // Overlapping grains add up: keep the sum's power about that of one grain.
  // No more than MaxGrains ever sound together, however dense the stream.
  const double together =
      std::clamp(density.ValueWithin(kMinDensity, kMaxDensity) * seconds, 1.0,
                 static_cast<double>(std::clamp(maxGrains.Value(), 1, kMaxGrains)));
  return (2.0 - shape) / std::sqrt(together);
}

OnsetGrid TGBubbleBlower::Grid() const {
  if (Context() == nullptr) return {};
  const TempoClock& clock = Context()->Clock();
  OnsetGrid grid = OnsetGrid::Make(clock.IsRunning(), clock.Position(), clock.SamplesPerClock(),
                                   std::clamp(quantizeClocks.Value(), 0, kMaxQuantizeClocks),
                                   quantizeAmount.ValueWithin(0.0, 1.0));
  const double gap = kSampleRate / density.ValueWithin(kMinDensity, kMaxDensity);
  const double length = Samples(grainDuration.ValueWithin(5.0, 500.0).Mean());
  grid.SetRoll(gap, length);
  return grid;
}

bool TGBubbleBlower::RenderGrain(TGBubbleGrain& g) {
  return g.voice.Render(left_.Data(), right_.Data(),
                        [this, &g](int from) { return g.source.Read(read_, from); });
}

void TGBubbleBlower::StartGrain(int64_t onset, int64_t pulled, double gain) {
  TGBubbleGrain* g = pool_.Take(std::clamp(maxGrains.Value(), 1, kMaxGrains));
  if (g == nullptr) return;
  const GrainDraw d = draws_.Draw();
  const double a = d.amplitude * gain;
  // The loader brought the file to the program's rate: a frame a sample.
  const GrainSamples data{playing_->Samples(), playing_->Channels(), playing_->Frames()};
  // A grain pulled to the grid starts where it would have been by then had
  // it started at its own onset: grains moved onto one line keep their
  // places in the file instead of all playing the same sound in phase.
  g->source.Start(data, Samples(d.whereMs) + static_cast<double>(pulled) * d.rate, d.rate);
  // At least a sample each, so that every edge has its turn.
  g->voice.Start(onset, GrainSegments::Of(Samples(d.durationMs), d.sustain, d.skew, 1),
                 static_cast<float>(a * GrainPan::Gain(d.pan)),
                 static_cast<float>(a * GrainPan::Gain(1.0 - d.pan)));
  if (RenderGrain(*g)) pool_.GiveBackTaken();
}

void TGBubbleBlower::Process() {
  const bool usable = TakeSound();
  TakeChanges();
  left_.Fill(0.0f);
  right_.Fill(0.0f);
  if (!usable) return;
  pool_.RenderAll([this](TGBubbleGrain& g) { return RenderGrain(g); });
  // The level glides when the settings change, so the texture never jumps.
  const double gain = level_.Follow(Normalisation());
  scheduler_.RunBlock(gaps_, Grid(), [this, gain](int64_t onset, int64_t pulled) {
    StartGrain(onset, pulled, gain);
  });
}

}  // namespace tg
