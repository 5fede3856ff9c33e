#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/granular/GrainPan.h"
#include "dsp/granular/GrainPool.h"
#include "dsp/granular/GrainVoice.h"
#include "dsp/granular/OnsetScheduler.h"

namespace tg {
namespace granular_scheduling_test {

// Onsets of many blocks in samples from the start of the first.
template <typename Gaps>
std::vector<int64_t> Onsets(OnsetScheduler& s, Gaps& gaps, int blocks,
                            OnsetGrid (*grid)(int block) = nullptr) {
  std::vector<int64_t> at;
  for (int b = 0; b < blocks; ++b) {
    const OnsetGrid g = grid ? grid(b) : OnsetGrid();
    s.RunBlock(gaps, g,
               [&](int64_t onset, int64_t) { at.push_back(int64_t{b} * kBlockSize + onset); });
  }
  return at;
}

TEST(OnsetSchedulerTest, EvenGapsGiveARegularStreamAcrossBlocks) {
  OnsetScheduler s;
  UniformGaps gaps(1);
  gaps.Load(1000.0, 1000.0);
  const auto at = Onsets(s, gaps, 400);
  ASSERT_EQ(at.size(), 103u);  // 0, 1000, … 102000 of 102400 samples
  for (size_t k = 0; k < at.size(); ++k) EXPECT_EQ(at[k], static_cast<int64_t>(k) * 1000);

  // A range: every gap within it, the mean in the middle.
  gaps.Load(100.0, 300.0);
  s.Reset();
  const auto spread = Onsets(s, gaps, 4000);
  double sum = 0.0;
  for (size_t k = 1; k < spread.size(); ++k) {
    const int64_t gap = spread[k] - spread[k - 1];
    ASSERT_GE(gap, 100);
    ASSERT_LT(gap, 300);
    sum += static_cast<double>(gap);
  }
  EXPECT_NEAR(sum / static_cast<double>(spread.size() - 1), 199.5, 3.0);

  // Shortening the range cuts a long wait short: the next onset comes within the new range.
  gaps.Load(40000.0, 40000.0);
  s.Reset();
  Onsets(s, gaps, 2);
  gaps.Load(500.0, 500.0);
  const auto after = Onsets(s, gaps, 10);
  ASSERT_FALSE(after.empty());
  EXPECT_LE(after.front(), 500 + kBlockSize);
}

TEST(OnsetSchedulerTest, ExponentialGapsKeepTheirMeanDensity) {
  OnsetScheduler s;
  ExponentialGaps gaps(7);
  gaps.SetDensity(10.0);
  const int blocks = static_cast<int>(600 * kSampleRate / kBlockSize);  // ten minutes
  const auto at = Onsets(s, gaps, blocks);
  const double seconds = blocks * kBlockSize / kSampleRate;
  EXPECT_NEAR(static_cast<double>(at.size()) / seconds, 10.0, 0.5);
  // Irregular: the gaps' spread is about their mean, as a Poisson stream's is.
  double sum = 0.0, squares = 0.0;
  for (size_t k = 1; k < at.size(); ++k) {
    const auto g = static_cast<double>(at[k] - at[k - 1]);
    sum += g;
    squares += g * g;
  }
  const double n = static_cast<double>(at.size() - 1);
  const double mean = sum / n;
  EXPECT_NEAR(std::sqrt(squares / n - mean * mean) / mean, 1.0, 0.1);

  // A density raised a thousandfold: a wait drawn at the old one ends within
  // two of the new mean gaps.
  gaps.SetDensity(0.1);
  s.Reset();
  Onsets(s, gaps, 1);
  gaps.SetDensity(100.0);
  const auto after = Onsets(s, gaps, 4);
  ASSERT_FALSE(after.empty());
  EXPECT_LE(after.front(), static_cast<int64_t>(2 * kSampleRate / 100.0) + kBlockSize);
}

// A gap source that never moves on.
struct ZeroGaps {
  double Next() { return 0.0; }
  double Trim(double countdown) { return countdown; }
};

TEST(OnsetSchedulerTest, AStreamThatNeverMovesOnEndsItsBlockAnyway) {
  OnsetScheduler s;
  ZeroGaps gaps;
  int onsets = 0;
  s.RunBlock(gaps, OnsetGrid(), [&](int64_t, int64_t) { ++onsets; });
  EXPECT_EQ(onsets, OnsetScheduler::kMaxOnsetsPerBlock);
  EXPECT_EQ(s.Countdown(), 0);
}

constexpr double kSamplesPerTick = 918.75;  // 120 beats a minute
constexpr double kBeat = 24 * kSamplesPerTick;

// The clock from tick 0, a line every beat, onsets pulled all the way or halfway.
OnsetGrid BeatGrid(int block, double amount) {
  return OnsetGrid::Make(true, block * kBlockSize / kSamplesPerTick, kSamplesPerTick, 24, amount);
}

TEST(OnsetGridTest, PullsOnsetsOntoOrTowardsTheLines) {
  OnsetScheduler s;
  UniformGaps gaps(1);
  gaps.Load(5000.0, 5000.0);
  const auto whole = Onsets(s, gaps, 2000, [](int b) { return BeatGrid(b, 1.0); });
  ASSERT_GT(whole.size(), 100u);
  for (size_t k = 0; k < whole.size(); ++k) {
    // Onset k was at 5000·k; the grid moved it to the next beat, or left it on one.
    const double expected = std::ceil(5000.0 * static_cast<double>(k) / kBeat - 1e-9) * kBeat;
    ASSERT_NEAR(static_cast<double>(whole[k]), expected, 1.0) << k;
  }

  s.Reset();
  const auto half = Onsets(s, gaps, 2000, [](int b) { return BeatGrid(b, 0.5); });
  ASSERT_EQ(half.size(), whole.size());  // the countdown runs on from the unmoved onsets
  for (size_t k = 0; k < half.size(); ++k) {
    const double h = 5000.0 * static_cast<double>(k);
    ASSERT_NEAR(static_cast<double>(half[k]), std::floor(h + (whole[k] - h) / 2), 1.0) << k;
  }

  // A block that starts on a line: an onset at its first sample stays there.
  const OnsetGrid onLine = OnsetGrid::Make(true, 48.0, kSamplesPerTick, 24, 1.0);
  EXPECT_EQ(onLine.Pull(0), 0);
  EXPECT_EQ(onLine.Pull(1), static_cast<int64_t>(kBeat));
  // No grid without the clock, a spacing or an amount.
  EXPECT_FALSE(OnsetGrid::Make(false, 3.0, kSamplesPerTick, 24, 1.0).Active());
  EXPECT_FALSE(OnsetGrid::Make(true, 3.0, kSamplesPerTick, 0, 1.0).Active());
  EXPECT_FALSE(OnsetGrid::Make(true, 3.0, kSamplesPerTick, 24, NAN).Active());
  EXPECT_FALSE(OnsetGrid::Make(true, 3.0, NAN, 24, 1.0).Active());
}

// One grain's envelope over a constant input, block by block.
template <typename Ramp>
std::vector<float> Envelope(GrainSegments segments, int64_t onset,
                            std::vector<float>* right = nullptr) {
  GrainVoice<Ramp> v;
  v.Start(onset, segments, 1.0f, 0.5f);
  const std::vector<float> ones(kBlockSize, 1.0f);
  std::vector<float> out;
  std::vector<float> r;
  for (int b = 0; b < 1000; ++b) {
    std::vector<float> l(kBlockSize, 0.0f), rr(kBlockSize, 0.0f);
    const bool done = v.Render(l.data(), rr.data(), [&](int) {
      return GrainInput{ones.data(), ones.data()};
    });
    out.insert(out.end(), l.begin(), l.end());
    r.insert(r.end(), rr.begin(), rr.end());
    if (done) break;
  }
  if (right) *right = r;
  return out;
}

TEST(GrainVoiceTest, EnvelopesRiseHoldAndFallOverTheGrainsLength) {
  const GrainSegments s = GrainSegments::Of(1000.0, 0.5, 0.25);
  EXPECT_EQ(s.sustain, 500u);
  EXPECT_EQ(s.attack, 125u);
  EXPECT_EQ(s.decay, 375u);
  std::vector<float> right;
  const auto e = Envelope<LinearRamp>(s, 300, &right);
  // Silent until the onset, 1000 samples of grain, silent after.
  for (int i = 0; i < 300; ++i) ASSERT_EQ(e[i], 0.0f);
  EXPECT_EQ(e[300], 0.0f);  // the rise starts from silence
  EXPECT_NEAR(e[300 + 62], 62 / 125.0f, 1e-4f);
  for (int i = 300 + 125; i < 300 + 625; ++i) ASSERT_NEAR(e[i], 1.0f, 1e-4f) << i;
  EXPECT_NEAR(e[300 + 625 + 187], 1.0f - 187 / 375.0f, 1e-3f);
  EXPECT_GT(e[300 + 999], 0.0f);
  for (size_t i = 1300; i < e.size(); ++i) ASSERT_EQ(e[i], 0.0f);
  for (size_t i = 0; i < e.size(); ++i) ASSERT_FLOAT_EQ(right[i], 0.5f * e[i]);

  // Raised-cosine edges: half way up at the attack's middle, smooth at both ends.
  const auto c = Envelope<RaisedCosineRamp>(GrainSegments::Of(1000.0, 0.5, 0.25, 1), 0);
  EXPECT_NEAR(c[61], 0.5f, 0.02f);
  EXPECT_LT(c[0], 0.001f);
  EXPECT_NEAR(c[124], 1.0f, 1e-3f);
  EXPECT_NEAR(c[625 + 187], 0.5f, 0.02f);
  EXPECT_LT(c[999], 0.001f);
}

TEST(GrainVoiceTest, GrainsWithoutEdgesOrLengthNeverDivideByZero) {
  for (const GrainSegments s :
       {GrainSegments::Of(500.0, 1.0, 0.5), GrainSegments::Of(0.0, 0.5, 0.5),
        GrainSegments::Of(NAN, NAN, NAN), GrainSegments::Of(500.0, 0.0, 1.0),
        GrainSegments::Of(500.0, 0.0, 0.0)}) {
    const auto e = Envelope<LinearRamp>(s, 10);
    for (float v : e) ASSERT_TRUE(std::isfinite(v) && v >= 0.0f && v <= 1.0f + 1e-5f);
    EXPECT_LE(e.size(), 3u * kBlockSize);
  }
  // No attack: full level at once; no decay: silence right after.
  const auto square = Envelope<LinearRamp>(GrainSegments::Of(500.0, 1.0, 0.5), 0);
  EXPECT_EQ(square[0], 1.0f);
  EXPECT_EQ(square[499], 1.0f);
  EXPECT_EQ(square[500], 0.0f);
}

struct Voice {
  int id = 0;
};

TEST(GrainPoolTest, MaxGrainsLimitsTheSoundingAndAGrainEndedAtOnceGoesBack) {
  GrainPool<Voice, 20> pool;
  for (int i = 0; i < 20; ++i) pool.At(i).id = i;
  for (int i = 0; i < 5; ++i) ASSERT_NE(pool.Take(5), nullptr);
  EXPECT_EQ(pool.Take(5), nullptr);
  EXPECT_EQ(pool.Take(0), nullptr);  // held to at least one, and five sound
  Voice* sixth = pool.Take(1000);    // held to the pool's twenty
  ASSERT_NE(sixth, nullptr);
  pool.GiveBackTaken();
  EXPECT_EQ(pool.Sounding(), 5);
  EXPECT_EQ(pool.Take(20), sixth);  // the one given back is the next handed out
  int visited = 0;
  pool.RenderAll([&](Voice& v) {
    ++visited;
    return v.id % 2 == 0;
  });
  EXPECT_EQ(visited, 6);
  pool.ReleaseAll();
  EXPECT_EQ(pool.Sounding(), 0);
}

TEST(GrainPanTest, TheSharedLawIsFullAtItsSideAndSilentAtTheOther) {
  GrainPan::Prepare();
  EXPECT_NEAR(GrainPan::Gain(0.0), 1.0f, 1e-6f);
  EXPECT_NEAR(GrainPan::Gain(0.5), 1.0f, 1e-6f);
  EXPECT_NEAR(GrainPan::Gain(0.25), 1.2071f, 1e-3f);
  EXPECT_NEAR(GrainPan::Gain(1.0), 0.0f, 1e-6f);
  EXPECT_EQ(GrainPan::Gain(-3.0), GrainPan::Gain(0.0));
  EXPECT_EQ(GrainPan::Gain(7.0), GrainPan::Gain(1.0));
  EXPECT_EQ(GrainPan::Gain(NAN), GrainPan::Gain(0.0));
}

}  // namespace granular_scheduling_test
}  // namespace tg
