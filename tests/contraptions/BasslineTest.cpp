#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "contraptions/generators/bassline/BasslinePattern.h"
#include "contraptions/generators/bassline/TGBassline.h"
#include "dsp/NoteNumbers.h"
#include "dsp/QSNoiseSource.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace bassline_test {

using test::GraphHarness;

constexpr double kTick = TempoClock::kDefaultSamplesPerClock;  // 120 beats a minute
constexpr double kStepLength = 6 * kTick;
constexpr size_t kBar = static_cast<size_t>(16 * kStepLength);

// The sample at which a tick of the first bars takes effect, give or take
// one: the processor adds the ticks' lengths up.
size_t TickSample(int tick) { return static_cast<size_t>(tick * kTick); }
size_t StepStart(int step) { return TickSample(step * 6); }
size_t HalfStep(int step) { return TickSample(step * 6 + 3); }

float Peak(const std::vector<float>& s, size_t from, size_t to) {
  float peak = 0;
  for (size_t i = from; i < to && i < s.size(); ++i) peak = std::max(peak, std::abs(s[i]));
  return peak;
}

double Rms(const std::vector<float>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(s[i]) * s[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

// The fundamental of a stretch, from its autocorrelation: the shortest lag
// that matches nearly as well as the best one (so never an octave below).
// Lags up to maxLag (1200: down to 37 Hz) are tried.
double Pitch(const std::vector<float>& s, size_t from, size_t to, size_t maxLag = 1200) {
  constexpr size_t kMinLag = 20;
  const size_t n = to - from - maxLag - 1;  // products per lag
  std::vector<double> r(maxLag + 2, 0.0);
  for (size_t lag = kMinLag - 1; lag <= maxLag + 1; ++lag) {
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = from; i < from + n; ++i) {
      const double x = s[i], y = s[i + lag];
      xy += x * y;
      xx += x * x;
      yy += y * y;
    }
    r[lag] = xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
  }
  const double best = *std::max_element(r.begin() + kMinLag, r.begin() + maxLag);
  for (size_t lag = kMinLag; lag < maxLag; ++lag) {
    if (r[lag] >= 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
      const double a = r[lag - 1], b = r[lag], c = r[lag + 1];
      const double shift = a - 2 * b + c != 0 ? 0.5 * (a - c) / (a - 2 * b + c) : 0.0;
      return kSampleRate / (static_cast<double>(lag) + shift);
    }
  }
  return 0.0;
}

// The magnitude of one frequency in a Hann-windowed stretch.
double Magnitude(const std::vector<float>& s, size_t from, size_t to, double hz) {
  double re = 0, im = 0;
  const double n = static_cast<double>(to - from);
  for (size_t i = from; i < to; ++i) {
    const double t = static_cast<double>(i - from);
    const double w = 0.5 - 0.5 * std::cos(2 * 3.14159265358979 * t / n);
    re += w * s[i] * std::cos(2 * 3.14159265358979 * hz * t / kSampleRate);
    im += w * s[i] * std::sin(2 * 3.14159265358979 * hz * t / kSampleRate);
  }
  return std::hypot(re, im) / n;
}

void SetNotes(TGBassline& bass, const std::array<int8_t, 16>& notes) {
  EightChars first{}, second{};
  std::copy(notes.begin(), notes.begin() + 8, first.begin());
  std::copy(notes.begin() + 8, notes.end(), second.begin());
  bass.notes0.SetValue(first);
  bass.notes1.SetValue(second);
}

// A Bassline recorded through a graph with the clock running from bar 0.
struct Rig {
  GraphHarness h;
  TGBassline& bass = h.Place<TGBassline>();
  Rig() { h.context.Clock().SetRunning(true); }
  // Runs until at least this many samples are recorded.
  void RunTo(size_t samples) {
    while (Out().size() < samples) h.Run(1);
  }
  const std::vector<float>& Out() const { return h.Out(0); }
};

TEST(BasslineTest, NewIsSilentUntilVolumeThenPlaysNote36OnEveryStepThenItsOwnNotes) {
  Rig rig;
  rig.RunTo(kBar);
  EXPECT_EQ(Peak(rig.Out(), 0, kBar), 0.0f);

  rig.bass.volume.SetValue(1.0);
  rig.RunTo(2 * kBar);
  const auto& out = rig.Out();
  for (int step = 0; step < 16; ++step) {
    const size_t start = kBar + StepStart(step);
    EXPECT_EQ(NearestKey(Pitch(out, start + 300, start + 2700)), 36) << step;
    // Each step ends its note at the half-step: silent before the next one.
    EXPECT_GT(Peak(out, start + 300, start + 2700), 0.05f) << step;
    EXPECT_LT(Peak(out, kBar + HalfStep(step) + 720, kBar + StepStart(step + 1) - 1), 1e-5f)
        << step;
  }

  // Step 0 keeps 36: the next bar may have begun already.
  const std::array<int8_t, 16> notes{36, 43, 48, 31, 60, 0, 40, 36, 36, 36, 36, 36, 36, 36, 36, 36};
  SetNotes(rig.bass, notes);
  rig.bass.waveform.SetValue(1);  // the square table as well
  rig.RunTo(3 * kBar);
  for (int step : {0, 1, 2, 3, 4, 6}) {
    const size_t start = 2 * kBar + StepStart(step);
    EXPECT_EQ(NearestKey(Pitch(out, start + 300, start + 2700)), notes[step]) << step;
  }
  // An "off" step starts nothing.
  EXPECT_LT(Peak(out, 2 * kBar + StepStart(5) + 1, 2 * kBar + StepStart(6) - 1), 1e-5f);
}

TEST(BasslineTest, TiedStepsGlideWithoutAttackAndAnUntiedStepReleasesFromItsHalfStep) {
  Rig rig;
  std::array<int8_t, 16> notes{};
  notes.fill(36);
  notes[4] = 60, notes[5] = 72, notes[6] = 72, notes[7] = 67;
  SetNotes(rig.bass, notes);
  rig.bass.ties.SetValue((1 << 4) | (1 << 5) | (1 << 6));
  rig.bass.volume.SetValue(1.0);
  rig.bass.cutoffFreq.SetValue(1.0);
  rig.RunTo(StepStart(9));
  const auto& out = rig.Out();

  for (int step = 4; step <= 6; ++step) {
    // A tied step holds through its half-step into the next.
    EXPECT_GT(Peak(out, HalfStep(step) + 800, StepStart(step + 1)),
              0.5f * Peak(out, StepStart(step) + 300, HalfStep(step)))
        << step;
    // The pitch arrives at the next step's note.
    const size_t next = StepStart(step + 1);
    EXPECT_EQ(NearestKey(Pitch(out, next + 2500, next + 5400)),
              notes[static_cast<size_t>(step + 1)])
        << step;
  }
  // Into a tied step of the same note the level runs on smoothly, one period
  // (84 samples) at a time: an attack would dip, a restarted envelope jump up.
  const size_t sixth = StepStart(6);
  const double first = Rms(out, sixth - 420, sixth - 336);
  double lowest = first, highest = first;
  for (size_t at = sixth - 420; at < sixth + 420; at += 7) {
    lowest = std::min(lowest, Rms(out, at, at + 84));
    highest = std::max(highest, Rms(out, at, at + 84));
  }
  EXPECT_GT(lowest, 0.89 * first);
  EXPECT_LT(highest, 1.15 * first);
  // The slide passes through the notes between, a block of 256 samples at a time.
  const size_t firstBlock = (StepStart(5) / kBlockSize + 1) * kBlockSize;
  const int passing = NearestKey(Pitch(out, firstBlock, firstBlock + 512, 250));
  EXPECT_GT(passing, 60);
  EXPECT_LT(passing, 72);

  // Step 7 is not tied: 700 samples of release from its half-step, then silence.
  const size_t half = HalfStep(7);
  const float full = Peak(out, half - 700, half);
  ASSERT_GT(full, 0.05f);
  for (size_t k = 2; k < 700; ++k) {
    const float bound = static_cast<float>(1.0 - (k - 2) / 700.0) * full * 1.1f + 1e-6f;
    ASSERT_LE(std::abs(out[half + k]), bound) << k;
  }
  EXPECT_GT(Peak(out, half + 100, half + 300), 0.3f * full);
  EXPECT_LT(Peak(out, half + 702, StepStart(8) - 1), 1e-5f * full);
  // The next step attacks again.
  EXPECT_GT(Peak(out, StepStart(8) + 100, HalfStep(8)), 0.05f);
}

TEST(BasslineTest, APauseReleasesTheSoundingNoteWithTheNormalRelease) {
  Rig rig;
  rig.bass.volume.SetValue(1.0);
  // Into step 2, between its ticks, where no tick of a pause ends the note.
  rig.RunTo(StepStart(2) + 1300);
  const auto& out = rig.Out();
  const size_t paused = out.size();
  const float full = Peak(out, paused - 700, paused);
  ASSERT_GT(full, 0.05f);
  rig.h.context.Clock().SetRunning(false);
  rig.RunTo(paused + static_cast<size_t>(kSampleRate));
  std::printf("after the pause: %.3f at 0.1 s, %.3f at 0.5 s\n",
              Peak(out, paused + 4410, paused + 8820), Peak(out, paused + 22050, paused + 26460));
  // A fade, not a cut: a straight one keeps a third of the power.
  EXPECT_GT(Rms(out, paused, paused + 700), 0.4 * Rms(out, paused - 700, paused));
  EXPECT_LT(Peak(out, paused + 702, out.size()), 1e-5f * full);
}

TEST(BasslineTest, TheConnectedInletReplacesTheOscillator) {
  Rig rig;
  std::vector<float> sine(3 * kBar);
  for (size_t i = 0; i < sine.size(); ++i)
    sine[i] = static_cast<float>(0.5 * std::sin(2 * 3.14159265358979 * 330.0 * i / kSampleRate));
  rig.h.Feed(rig.bass, 0, sine);
  rig.bass.volume.SetValue(1.0);
  rig.bass.cutoffFreq.SetValue(1.0);
  rig.RunTo(kBar);
  const auto& out = rig.Out();
  for (int step : {2, 9}) {
    const size_t from = StepStart(step) + 300, to = StepStart(step) + 2700;
    EXPECT_EQ(NearestKey(Pitch(out, from, to)), NearestKey(330.0)) << step;
    EXPECT_LT(Magnitude(out, from, to, KeyFrequency(36)), 0.02 * Magnitude(out, from, to, 330.0))
        << step;
    // The envelopes and the sequencer still act on it.
    EXPECT_LT(Peak(out, HalfStep(step) + 720, StepStart(step + 1) - 1), 1e-5f) << step;
  }
}

TEST(BasslineTest, MuteIsTakenAtStepZeroAndResetSilencesTheNote) {
  Rig rig;
  rig.bass.volume.SetValue(1.0);
  rig.RunTo(StepStart(5));
  rig.bass.mute.SetValue(true);
  rig.RunTo(kBar + StepStart(5));
  const auto& out = rig.Out();
  EXPECT_GT(Peak(out, StepStart(10), HalfStep(10)), 0.05f);    // still playing this bar
  EXPECT_LT(Peak(out, kBar, kBar + StepStart(5) - 1), 1e-5f);  // muted from step 0
  rig.bass.mute.SetValue(false);
  rig.RunTo(2 * kBar + StepStart(2));
  EXPECT_LT(Peak(out, kBar + StepStart(5), 2 * kBar - 1), 1e-5f);  // until the next step 0
  EXPECT_GT(Peak(out, 2 * kBar + 100, 2 * kBar + HalfStep(0)), 0.05f);

  // A reset in the middle of a note silences it until the next step.
  const size_t at = out.size();
  ASSERT_LT(at + 1000, 2 * kBar + HalfStep(2));
  ASSERT_GT(Peak(out, at - 500, at), 0.05f);
  rig.bass.Reset();
  rig.RunTo(2 * kBar + StepStart(4));
  EXPECT_EQ(Peak(out, at, 2 * kBar + StepStart(3)), 0.0f);
  EXPECT_GT(Peak(out, 2 * kBar + StepStart(3) + 100, 2 * kBar + HalfStep(3)), 0.05f);
}

TEST(BasslineTest, ExtremeSettingsAndLoudInputStayFiniteAndBounded) {
  // The shaper and the saturated filter states bound the output near 5.1.
  constexpr float kBound = 6.0f;
  struct Setting {
    double value;
    bool fed;
  };
  for (const Setting setting : {Setting{1.0, true}, Setting{1.0, false}, Setting{0.0, true},
                                Setting{40.0, true}, Setting{-40.0, false}}) {
    Rig rig;
    TGBassline& b = rig.bass;
    for (QSDoubleProperty* p : {&b.cutoffFreq, &b.resonance, &b.envMod, &b.decay, &b.accent,
                                &b.overdrive, &b.lfoRate, &b.lfoDepth})
      p->SetValue(setting.value);
    b.volume.SetValue(std::max(setting.value, 1.0));
    b.accents.SetValue(0xFFFF);
    b.ties.SetValue(0x5555);
    if (setting.fed) {
      std::vector<float> loud(2 * kBar);
      for (size_t i = 0; i < loud.size(); ++i) loud[i] = (i / 300) % 2 != 0 ? 1e6f : -1e6f;
      for (size_t i = kBar; i < kBar + 5000; ++i) loud[i] = i % 2 != 0 ? NAN : INFINITY;
      rig.h.Feed(b, 0, loud);
    }
    rig.RunTo(2 * kBar);
    const auto& out = rig.Out();
    float peak = 0;
    for (size_t i = 0; i < out.size(); ++i) {
      ASSERT_TRUE(std::isfinite(out[i])) << setting.value << " sample " << i;
      peak = std::max(peak, std::abs(out[i]));
    }
    EXPECT_LE(peak, kBound) << setting.value << (setting.fed ? " fed" : "");
    if (setting.value != 0.0) {
      EXPECT_GT(peak, 0.1f) << setting.value;
    }
  }
}

// The editor writes while the audio thread plays: every value crosses
// without a lock (ThreadSanitizer watches this one).
TEST(BasslineTest, EditsWhilePlayingNeedNoLock) {
  Rig rig;
  std::atomic<int> blocks{0};
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    while (!stop.load()) {
      rig.h.Run(1);
      blocks.fetch_add(1);
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  QSNoiseSource noise(99, 0.0, 1.0);
  for (int edit = 0; blocks.load() < 400 && std::chrono::steady_clock::now() < deadline; ++edit) {
    BasslinePattern p = rig.bass.Pattern();
    p.Randomize(noise);
    rig.bass.gates.SetValue(p.gates);
    rig.bass.ties.SetValue(p.ties);
    EightChars n{};
    std::copy(p.notes.begin(), p.notes.begin() + 8, n.begin());
    rig.bass.notes0.SetValue(n);
    rig.bass.volume.SetValue((edit % 10) / 10.0);
    rig.bass.mute.SetValue(edit % 7 == 0);
    rig.bass.waveform.SetValue(edit % 2);
  }
  stop.store(true);
  audio.join();
  EXPECT_GE(blocks.load(), 400);
  for (float v : rig.Out()) ASSERT_TRUE(std::isfinite(v));
}

TEST(BasslinePatternTest, ReframeTransposeAndTheParameters) {
  Rig rig;
  std::array<int8_t, 16> notes{};
  for (size_t k = 0; k < 16; ++k) notes[k] = static_cast<int8_t>(30 + k);
  SetNotes(rig.bass, notes);
  rig.bass.gates.SetValue(0x0001);
  rig.bass.accents.SetValue(0x8003);
  rig.bass.ties.SetValue(0x00F0);
  const BasslinePattern original = rig.bass.Pattern();
  EXPECT_EQ(original.notes, notes);
  EXPECT_EQ(original.accents, 0x8003);

  BasslinePattern p = original;
  p.ReframeLeft();
  EXPECT_EQ(p.gates, 0x8000);  // step 0 went to step 15
  EXPECT_EQ(p.accents, 0xC001);
  EXPECT_EQ(p.ties, 0x0078);
  EXPECT_EQ(p.notes[15], 30);
  EXPECT_EQ(p.notes[0], 31);
  p.ReframeRight();
  EXPECT_EQ(p, original);
  p.ReframeRight();
  EXPECT_EQ(p.gates, 0x0002);
  EXPECT_EQ(p.accents, 0x0007);
  EXPECT_EQ(p.notes[0], 45);

  p.notes[0] = 120;
  p.notes[1] = 0;
  p.notes[2] = 5;
  p.notes[3] = 127;
  p.Transpose(12);
  EXPECT_EQ(p.notes[0], 120);  // 132 is no note: unchanged
  EXPECT_EQ(p.notes[1], 12);   // "off" moves like any other
  EXPECT_EQ(p.notes[2], 17);
  EXPECT_EQ(p.notes[3], 127);
  p.Transpose(-12);
  EXPECT_EQ(p.notes[0], 108);
  EXPECT_EQ(p.notes[1], 0);
  EXPECT_EQ(p.notes[2], 5);
  p.Transpose(-12);
  EXPECT_EQ(p.notes[2], 5);  // −7 is no note
}

TEST(BasslinePatternTest, RandomizeDrawsNotes20To43AndRepeatsWithTheSeed) {
  QSNoiseSource first(1234, 0.0, 1.0);
  QSNoiseSource second(1234, 0.0, 1.0);
  BasslinePattern a, b;
  a.Randomize(first);
  b.Randomize(second);
  EXPECT_EQ(a, b);
  int distinct = 0;
  for (size_t s = 0; s < 16; ++s) {
    EXPECT_GE(a.notes[s], 20);
    EXPECT_LE(a.notes[s], 43);
    distinct += std::count(a.notes.begin(), a.notes.begin() + s, a.notes[s]) == 0;
  }
  EXPECT_GT(distinct, 4);

  QSNoiseSource other(4321, 0.0, 1.0);
  BasslinePattern c;
  c.Randomize(other);
  EXPECT_NE(c, a);
}

}  // namespace bassline_test
}  // namespace tg
