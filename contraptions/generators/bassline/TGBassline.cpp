#include "contraptions/generators/bassline/TGBassline.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "dsp/NoteNumbers.h"
#include "dsp/QSFunctionTable.h"
#include "graph/QSDynSigContext.h"

namespace tg {

namespace {

constexpr int kTableSize = 1024;
constexpr double kPi = 3.1415926535897932;

// The waveforms, the same for every instance: built once, then only read.
struct Tables {
  QSFunctionTable saw{kTableSize};
  QSFunctionTable square{kTableSize};
  QSFunctionTable lfo{kTableSize};

  Tables() {
    // A falling edge then a ramp and a rest, rounded off by a fundamental.
    float* s = saw.Data();
    for (int i = 0; i < 128; ++i) s[i] = (1.0f - i / 128.0f) * 0.7f * 1.5f;
    for (int j = 0; j <= 384; ++j) s[128 + j] = -(j / 384.0f) * 0.7f;
    saw.AddSine(1.0f, 0.27f, 0.0f, 0.0f);

    for (int j = 1; j <= 339; j += 2) square.AddSine(static_cast<float>(j), 1.0f / j, 0.0f, 0.0f);
    square.Normalize(0.55f);

    lfo.AddSine(1.0f, 0.5f, 0.0f, 0.5f);
  }
};

const Tables& SharedTables() {
  static const Tables tables;
  return tables;
}

const std::array<float, 128>& NoteFrequencies() {
  static const std::array<float, 128> table = [] {
    std::array<float, 128> t{};
    for (int n = 0; n < 128; ++n) t[static_cast<size_t>(n)] = static_cast<float>(KeyFrequency(n));
    return t;
  }();
  return table;
}

// The equal-tempered frequency of a note; only 1 … 127 are ever asked for.
float NoteFrequency(int note) { return NoteFrequencies()[static_cast<size_t>(note & 127)]; }

// The filter states saturate at ±1; a state that is not a number starts over.
double Saturated(double s) {
  if (s >= 1.0) return 1.0;
  if (s <= -1.0) return -1.0;
  return std::isnan(s) ? 0.0 : s;
}

// Odd-symmetric soft shaper: linear up to 1, then 2 − (2 − y)³.
float Shape(float s, float drive) {
  float y = drive * s;
  const bool negative = y < 0.0f;
  if (negative) y = -y;
  if (y > 1.0f) {
    const float r = 2.0f - y;
    y = 2.0f - r * r * r;
  }
  y /= drive;
  return negative ? -y : y;
}

}  // namespace

TGBassline::TGBassline(QSDynSigContext* context)
    : QSSignalProcessor(context, 1, 1),
      osc_(SharedTables().saw),
      lfo_(SharedTables().lfo),
      glide_(std::pow(0.997, 44100.0 * kBlockSize / kSampleRate)),
      smoother_(static_cast<float>(kSampleRate), 20.0),
      secondSmoother_(static_cast<float>(kSampleRate), 20.0) {
  SetOutletSignal(0, &out_);
  NoteFrequencies();  // built here, never first on the audio thread
  osc_.SetFrequency(currentFrequency_);
  const double ampBase = std::exp(-7.0);
  ampEnv_.start = 1.0f;
  ampEnv_.end = 0.0f;
  ampEnv_.base = static_cast<float>(ampBase);
  ampEnv_.coefficient = static_cast<float>(std::pow(ampBase, 1.0 / kEnvelopeLength));
  ampEnv_.scale = static_cast<float>((0.0 - 1.0) / (1.0 - ampBase));
  Reset();
}

void TGBassline::Reset() {
  rampCount_ = 0;
  rampLevel_ = 0.0;
  rampIncrement_ = -1.0;
}

QSPropertyTable* TGBassline::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    const QSPropertyUnits& units = QSAbstractUnits::Get();
    add(volume, "Volume", units, 0.0, 1.0);
    add(mute, "Mute", units, 0.0, 1.0);
    add(waveform, "Waveform", units, 0.0, 1.0);
    add(cutoffFreq, "CutoffFreq", units, 0.0, 1.0);
    add(resonance, "Resonance", units, 0.0, 1.0);
    add(envMod, "EnvMod", units, 0.0, 1.0);
    add(decay, "Decay", units, 0.0, 1.0);
    add(accent, "Accent", units, 0.0, 1.0);
    add(overdrive, "Overdrive", units, 0.0, 1.0);
    add(lfoRate, "LFORate", units, 0.1, 1.0);
    add(lfoDepth, "LFODepth", units, 0.0, 1.0);
    // Sixteen step bits each.
    add(gates, "Gates", units, 0.0, 65535.0);
    add(accents, "Accents", units, 0.0, 65535.0);
    add(ties, "Ties", units, 0.0, 65535.0);
    add(notes0, "Notes_0");
    add(notes1, "Notes_1");
  });
}

BasslinePattern TGBassline::Pattern() const {
  BasslinePattern p;
  p.gates = static_cast<uint16_t>(gates.Value() & 0xFFFF);
  p.accents = static_cast<uint16_t>(accents.Value() & 0xFFFF);
  p.ties = static_cast<uint16_t>(ties.Value() & 0xFFFF);
  const EightChars first = notes0.Value();
  const EightChars second = notes1.Value();
  std::copy(first.begin(), first.end(), p.notes.begin());
  std::copy(second.begin(), second.end(), p.notes.begin() + 8);
  return p;
}

int TGBassline::NoteOfStep(int step) const {
  const EightChars notes = step < 8 ? notes0.Value() : notes1.Value();
  return notes[static_cast<size_t>(step % 8)];
}

void TGBassline::Process() {
  if (volume.TakeChanged()) {
    smoother_.SetTarget(volume.ValueWithin(0.0, 1.0));
    secondSmoother_.SetTarget(volume.ValueWithin(0.0, 1.0));
  }
  if (lfoRate.TakeChanged()) {
    const double r = lfoRate.ValueWithin(0.1, 1.0);
    const double hz = r * r * 10.0 + 0.02;
    lfo_.SetIncrement(kTableSize / ((kSampleRate / kBlockSize) / hz));
  }
  const double a = lfo_.Tick();
  const double em = envMod.ValueWithin(0.0, 1.0);
  const double depth = em + a * (1.0 - em) * lfoDepth.ValueWithin(0.0, 1.0);
  const double cutoff = cutoffFreq.ValueWithin(0.0, 1.0);
  baseCutoff_ = std::exp(cutoff * 1.38) * 195.0 / (depth * 0.3 + 1.0);
  peakCutoff_ = baseCutoff_ + (1.0 - cutoff * 0.5) * baseCutoff_ * (depth * 19.0 + 0.8);
  if (resonance.TakeChanged()) {
    const double r = 3.0 * resonance.ValueWithin(0.0, 1.0);
    q_ = 1.0 / (r * r * 12.0 + 1.0);
  }
  if (decay.TakeChanged()) {
    const double d = decay.ValueWithin(0.0, 1.0) * 7.5 - 10.0;
    filterEnv_.base = static_cast<float>(std::exp(-d * d));
    filterEnv_.coefficient = static_cast<float>(std::exp(-d * d / kEnvelopeLength));
  }
  if (waveform.TakeChanged()) {
    osc_.SetTable(waveform.Value() == 0 ? SharedTables().saw : SharedTables().square);
  }
  useInlet_ = IsInletConnected(0);
  overdrive_ = overdrive.ValueWithin(0.0, 1.0);

  // Each tick falls at its own sample: render up to it, handle it, go on.
  // Ticks are handled while the clock stands too, so a stop ends the note.
  int rendered = 0;
  if (const QSDynSigContext* context = Context()) {
    const TempoClock& clock = context->Clock();
    const double position = clock.Position();
    const double samplesPerTick = clock.SamplesPerClock();
    const bool running = clock.IsRunning();
    // A pause between ticks would leave the note ringing for its whole
    // envelope: it ends as at a half-step.
    if (!running && rampIncrement_ > 0.0) Release();
    if (position >= 0.0 && position < 1e15 && samplesPerTick >= 1.0 && samplesPerTick < 1e15) {
      double tick = std::ceil(position);
      double d = (tick - position) * samplesPerTick;
      while (d < kBlockSize) {
        const int upTo = static_cast<int>(d);
        Render(rendered, upTo);
        rendered = upTo;
        HandleTick(static_cast<int>(std::fmod(tick, kTicksPerBar)), running);
        tick += 1.0;
        d += samplesPerTick;
      }
    }
  }
  Render(rendered, kBlockSize);
  // The volume counts twice, both times smoothed, so a move never steps.
  smoother_.Apply(out_.Data(), out_.Data());
  secondSmoother_.Apply(out_.Data(), out_.Data());
}

void TGBassline::HandleTick(int tickInBar, bool clockRunning) {
  const int step = tickInBar / kTicksPerStep;
  const int phase = tickInBar % kTicksPerStep;
  if (step == 0 && mute.TakeChanged()) muted_ = mute.Value();
  const int note = NoteOfStep(step);
  const uint32_t bit = 1u << step;
  const bool gate = !muted_ && (static_cast<uint32_t>(gates.Value()) & bit) != 0 && clockRunning;
  if (phase == 0 && note > 0 && gate) {
    targetFrequency_ = NoteFrequency(std::clamp(note + Transposition(), 1, 127));
    if (rampIncrement_ > 0.0) return;  // tied from the last step: slide, no new attack
    currentFrequency_ = targetFrequency_;
    filterEnv_.Restart();
    ampEnv_.Restart();
    rampCount_ = kAttackSamples;
    rampLevel_ = 0.0;
    rampIncrement_ = 1.0 / kAttackSamples;
    osc_.SetPhase(0.0);
    accentLevel_ =
        (static_cast<uint32_t>(accents.Value()) & bit) != 0 ? accent.ValueWithin(0.0, 1.0) : 0.0;
  } else if (((phase == 3 && (static_cast<uint32_t>(ties.Value()) & bit) == 0) ||
              (phase == 0 && !gate)) &&
             rampIncrement_ > 0.0) {
    Release();
  }
}

void TGBassline::Release() {
  // From where the ramp stands, so a note ended during its attack fades too.
  if (rampCount_ == 0) rampLevel_ = 1.0;  // the attack is over
  rampCount_ = kReleaseSamples;
  rampIncrement_ = -rampLevel_ / kReleaseSamples;
}

void TGBassline::Render(int from, int to) {
  // The envelopes step once per call, not per sample.
  filterEnv_.start = static_cast<float>(peakCutoff_);
  filterEnv_.end = static_cast<float>(baseCutoff_);
  filterEnv_.scale = static_cast<float>((baseCutoff_ - peakCutoff_) / (1.0 - filterEnv_.base));
  const double cutoff = filterEnv_.Next();
  const double fc = cutoff * (1.0 + 0.2 * accentLevel_);
  f_ = 2.0 * std::sin(kPi * fc / kSampleRate);
  const double env = ampEnv_.Next();
  const auto gain = static_cast<float>(env * (0.7 + 0.16 * accentLevel_));
  const auto drive = static_cast<float>(1.0 + overdrive_);
  osc_.SetFrequency(currentFrequency_);

  const float* in = InletSignal(0).Data();
  float* out = out_.Data();
  const double f = f_;
  const double q = q_;
  double low = low_;
  double band = band_;
  for (int i = from; i < to; ++i) {
    const double x = (useInlet_ ? static_cast<double>(in[i]) : osc_.Tick()) + noise_.Next();
    const double lowNext = f * band + low;
    const double bandNext = f * (x - lowNext - q * band) + band;
    low = Saturated(lowNext);
    band = Saturated(bandNext);
    if (rampCount_ != 0) {
      --rampCount_;
      rampLevel_ += rampIncrement_;
    }
    const auto s = static_cast<float>(lowNext * rampLevel_);
    out[i] = Shape(s, drive) * gain;  // the smoothed volume follows over the block
  }
  low_ = low;
  band_ = band;
  currentFrequency_ = currentFrequency_ * glide_ + targetFrequency_ * (1.0 - glide_);
}

}  // namespace tg
