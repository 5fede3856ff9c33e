#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>

#include "contraptions/effects/sspat/TGSSpat.h"
#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "properties/NumberText.h"
#include "shell/RegisterContraptions.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "tests/support/GraphHarness.h"
#include "tests/support/ScriptedQueries.h"

namespace tg {
namespace sspat_test {

using test::GraphHarness;

constexpr int kBlocksPerSecond = static_cast<int>(kSampleRate / kBlockSize);

std::vector<float> Sine(size_t length, double hz, float amplitude = 0.5f) {
  std::vector<float> s(length);
  for (size_t i = 0; i < length; ++i) {
    s[i] = amplitude *
           static_cast<float>(std::sin(2.0 * M_PI * hz * static_cast<double>(i) / kSampleRate));
  }
  return s;
}

double Energy(const std::vector<float>& s, size_t from, size_t to) {
  double e = 0.0;
  for (size_t i = from; i < to && i < s.size(); ++i) e += static_cast<double>(s[i]) * s[i];
  return e;
}

// A source held still: a path shrunk to a point and moved there, travelled
// fast so that the distance follows at once (a rate of 0 freezes it).
void HoldAt(TGSSpat& s, float x, float y) {
  s.pathSegments.SetValue("0,0, 0,0, 0,0");
  s.pathOriginX.SetValue(x);
  s.pathOriginY.SetValue(y);
  s.trajectoryRate.SetValue(3.0);
}

struct Rendered {
  std::vector<float> left, right, send;
};

Rendered Render(const std::function<void(TGSSpat&)>& setup, std::vector<float> in,
                const std::function<void(TGSSpat&, int)>& eachBlock = {}) {
  GraphHarness h;
  auto& s = h.Place<TGSSpat>();
  setup(s);
  const int blocks = static_cast<int>(in.size() / kBlockSize);
  h.Feed(s, 0, std::move(in));
  for (int b = 0; b < blocks; ++b) {
    h.Run(1);
    if (eachBlock) eachBlock(s, b);
  }
  return {h.Out(0), h.Out(1), h.Out(2)};
}

TEST(SSpatTest, ASourceOnOneSideIsLouderOnThatSide) {
  const size_t n = static_cast<size_t>(kSampleRate);
  const auto in = Sine(n, 300.0);
  const Rendered left = Render([](TGSSpat& s) { HoldAt(s, -0.98f, -0.8f); }, in);
  const Rendered right = Render([](TGSSpat& s) { HoldAt(s, 0.98f, -0.8f); }, in);
  const Rendered centre = Render([](TGSSpat& s) { HoldAt(s, 0.0f, -0.8f); }, in);
  const size_t from = n / 2;  // past the delay and the first glide
  EXPECT_GT(Energy(left.left, from, n), 8.0 * Energy(left.right, from, n));
  EXPECT_GT(Energy(right.right, from, n), 8.0 * Energy(right.left, from, n));
  // Mirror images of each other, and the centre evenly shared.
  EXPECT_NEAR(Energy(left.left, from, n) / Energy(right.right, from, n), 1.0, 0.01);
  EXPECT_NEAR(Energy(centre.left, from, n) / Energy(centre.right, from, n), 1.0, 0.01);
}

TEST(SSpatTest, TheLevelFallsAsTheSourceMovesAway) {
  const size_t n = static_cast<size_t>(kSampleRate);
  const auto in = test::Constant(n, 0.5f);
  const Rendered near = Render([](TGSSpat& s) { HoldAt(s, 0.0f, -0.9f); }, in);
  const Rendered far = Render([](TGSSpat& s) { HoldAt(s, 0.0f, 0.9f); }, in);
  EXPECT_LT(Energy(far.left, n / 2, n), 0.05 * Energy(near.left, n / 2, n));
  // Without the distance attenuation a far source is as loud as one on the listener.
  const Rendered on = Render([](TGSSpat& s) { HoldAt(s, 0.0f, -1.0f); }, in);
  const Rendered flat = Render(
      [](TGSSpat& s) {
        HoldAt(s, 0.0f, 0.9f);
        s.amplitudeAmount.SetValue(0.0);
      },
      in);
  EXPECT_NEAR(Energy(flat.left, n / 2, n), Energy(on.left, n / 2, n),
              0.01 * Energy(on.left, n / 2, n));

  // Travelling the default triangle: the block farthest away is the quietest.
  std::vector<float> distance;
  const Rendered moving =
      Render([](TGSSpat&) {}, test::Constant(8 * n, 0.5f),
             [&](TGSSpat& s, int) { distance.push_back(s.SmoothedDistance()); });
  const auto level = [&](size_t b) {
    return std::abs(moving.left[b * kBlockSize + kBlockSize - 1]);
  };
  size_t nearest = 0, farthest = 0;
  for (size_t b = static_cast<size_t>(kBlocksPerSecond); b < distance.size(); ++b) {
    if (distance[b] < distance[nearest] || nearest == 0) nearest = b;
    if (distance[b] > distance[farthest] || farthest == 0) farthest = b;
  }
  EXPECT_GT(distance[farthest], 2.0f * distance[nearest]);
  EXPECT_LT(level(farthest), 0.5f * level(nearest));
}

// The frequency of a sine from its upward zero crossings within [from, to).
double MeasuredHz(const std::vector<float>& s, size_t from, size_t to) {
  double first = -1.0, last = -1.0;
  int crossings = 0;
  for (size_t i = from + 1; i < to; ++i) {
    if (s[i - 1] < 0.0f && s[i] >= 0.0f) {
      const double at = static_cast<double>(i - 1) + s[i - 1] / (s[i - 1] - s[i]);
      if (first < 0.0) first = at;
      last = at;
      ++crossings;
    }
  }
  return (crossings - 1) * kSampleRate / (last - first);
}

TEST(SSpatTest, AMovingSourceRisesInPitchWhileApproachingAndFallsWhileReceding) {
  constexpr double kHz = 1000.0;
  constexpr int kWindow = 8;  // blocks
  std::vector<double> delay;
  const Rendered out = Render(
      [](TGSSpat& s) {
        s.spaceScale.SetValue(2.0);
        s.amplitudeAmount.SetValue(0.0);
      },
      Sine(static_cast<size_t>(12 * kSampleRate), kHz),
      [&](TGSSpat& s, int b) {
        delay.push_back(s.DirectDelay());
        // Sound takes 40/342 s to cross one unit of smoothed distance, from
        // the first block on: no sweep of the pitch at the start.
        ASSERT_NEAR(s.DirectDelay(), s.SmoothedDistance() * 40.0 / 342.0, 1e-5) << b;
      });
  double highest = kHz, lowest = kHz;
  int checked = 0;
  for (size_t b = 2 * kBlocksPerSecond; b + kWindow < delay.size(); b += kWindow) {
    // Output time t reads the input at t − d(t): its frequency is f·(1 − d').
    const double slope =
        (delay[b + kWindow - 1] - delay[b - 1]) / (kWindow * kBlockSize / kSampleRate);
    const double expected = kHz * (1.0 - slope);
    const double measured = MeasuredHz(out.left, b * kBlockSize, (b + kWindow) * kBlockSize);
    ASSERT_NEAR(measured, expected, 0.005 * kHz) << "block " << b;
    if (slope < -0.02) {
      EXPECT_GT(measured, kHz) << "approaching at block " << b;
    }
    if (slope > 0.02) {
      EXPECT_LT(measured, kHz) << "receding at block " << b;
    }
    highest = std::max(highest, measured);
    lowest = std::min(lowest, measured);
    ++checked;
  }
  EXPECT_GT(checked, 100);
  EXPECT_GT(highest, 1.05 * kHz);
  EXPECT_LT(lowest, 0.95 * kHz);

  // Without Doppler there is no delay and the pitch stays.
  const Rendered still = Render(
      [](TGSSpat& s) {
        s.spaceScale.SetValue(2.0);
        s.dopplerAmount.SetValue(0.0);
      },
      Sine(static_cast<size_t>(4 * kSampleRate), kHz));
  for (size_t b = 10; b + kWindow < 4 * kBlocksPerSecond; b += kWindow) {
    ASSERT_NEAR(MeasuredHz(still.left, b * kBlockSize, (b + kWindow) * kBlockSize), kHz, 0.5);
  }
}

TEST(SSpatTest, TheSendIsTheInputScaledAndGrowsWithDepth) {
  const size_t n = static_cast<size_t>(kSampleRate / 2);
  const auto in = Sine(n, 440.0);
  const auto sendGain = [&](float y, double reverb) {
    const Rendered r = Render(
        [&](TGSSpat& s) {
          HoldAt(s, 0.2f, y);
          s.reverbAmount.SetValue(reverb);
        },
        in);
    // No delay on the send: every sample is the input's times one gain.
    const double g = r.send[1000] / in[1000];
    for (size_t i = 0; i < r.send.size(); i += 7) {
      if (std::abs(in[i]) > 0.1f) {
        EXPECT_NEAR(r.send[i] / in[i], g, 1e-3) << i;
      }
    }
    return g;
  };
  // 1 / (g² + 1) with g = (2.5 − (y + 1)) × the scaling.
  const auto part = [](double y, double reverb) {
    const double g = (2.5 - (y + 1.0)) * reverb;
    return 1.0 / (g * g + 1.0);
  };
  const double shallow = sendGain(-0.8f, 1.0);
  const double middle = sendGain(0.0f, 1.0);
  const double deep = sendGain(0.5f, 1.0);
  EXPECT_NEAR(shallow, part(-0.8, 1.0), 1e-3);
  EXPECT_NEAR(middle, part(0.0, 1.0), 1e-3);
  EXPECT_NEAR(deep, part(0.5, 1.0), 1e-3);
  EXPECT_LT(shallow, middle);
  EXPECT_LT(middle, deep);
  EXPECT_GT(deep, 2.0 * shallow);
  // A larger scaling lets the send fall off faster away from the deepest point.
  EXPECT_LT(sendGain(0.0f, 2.0), 0.6 * middle);
}

bool AllFinite(const Rendered& r, float bound) {
  for (const auto* s : {&r.left, &r.right, &r.send}) {
    for (float v : *s) {
      if (!std::isfinite(v) || std::abs(v) > bound) return false;
    }
  }
  return true;
}

TEST(SSpatTest, PathsThroughAndBehindTheListenerStayFinite) {
  const auto in = Sine(static_cast<size_t>(6 * kSampleRate), 500.0, 1.0f);
  // Through the listener (0, −1), and behind it where the pan's divisor
  // vanishes: paths moved down by one.
  for (const char* path :
       {"0,0, 0.5,0, -0.5,0", "0,0, 0.5,-0.5, -0.5,-0.5", "0,-0.5, 0,0, 0,0.5"}) {
    for (double separation : {1.0, 10.0}) {
      std::vector<float> distances;
      const Rendered r = Render(
          [&](TGSSpat& s) {
            s.pathSegments.SetValue(path);
            s.pathOriginY.SetValue(-1.0);
            s.speakerSeparation.SetValue(separation);
            s.trajectoryRate.SetValue(3.0);
          },
          in, [&](TGSSpat& s, int) { distances.push_back(s.SmoothedDistance()); });
      EXPECT_TRUE(AllFinite(r, 1.3f)) << path;
      EXPECT_LT(*std::min_element(distances.begin(), distances.end()), 0.2f) << path;
    }
  }
  // Right on the listener: no attenuation, the centre's gain on both sides.
  const Rendered on =
      Render([](TGSSpat& s) { HoldAt(s, 0.0f, -1.0f); }, test::Constant(kBlockSize * 200, 0.5f));
  EXPECT_NEAR(on.left.back(), 0.5f, 0.01f);
  EXPECT_NEAR(on.right.back(), 0.5f, 0.01f);
}

TEST(SSpatTest, FastFarPathsKeepTheDelayInsideTheLine) {
  const double maxDelay = (QSDelayLine(1.0).Length() - kBlockSize) / kSampleRate;
  for (double rate : {3.0, -3.0}) {
    std::vector<double> delay;
    const Rendered r = Render(
        [&](TGSSpat& s) {
          s.pathSegments.SetValue("-0.98,0.98, 0.98,-0.98, -0.98,-0.98, 0.98,0.98");
          s.pathScale.SetValue(5.0);
          s.spaceScale.SetValue(20.0);
          s.dopplerAmount.SetValue(2.0);
          s.trajectoryRate.SetValue(rate);
        },
        Sine(static_cast<size_t>(8 * kSampleRate), 700.0, 1.0f),
        [&](TGSSpat& s, int) { delay.push_back(s.DirectDelay()); });
    EXPECT_TRUE(AllFinite(r, 1.3f));
    for (size_t b = 0; b < delay.size(); ++b) {
      ASSERT_GE(delay[b], 0.0);
      ASSERT_LE(delay[b], maxDelay);
      // At most half a block per block: the pitch stays within half and 1.5 times.
      if (b > 0) {
        ASSERT_LE(std::abs(delay[b] - delay[b - 1]), 0.5 * kBlockSize / kSampleRate + 1e-9) << b;
      }
    }
    EXPECT_GT(*std::max_element(delay.begin(), delay.end()), 0.9 * maxDelay);
  }
}

// Half full scale, for ever.
class Steady final : public QSSignalProcessor {
 public:
  explicit Steady(QSDynSigContext* context) : QSSignalProcessor(context, 0, 1) {
    SetOutletSignal(0, &out_);
    out_.Fill(0.5f);
  }
  void Process() override {}

 private:
  QSSignal out_;
};

// The level swing of one lap around a circle of 24 points, a constant
// input showing the gains themselves.
double LapSwingDecibels(double rate) {
  QSDynSigContext context;
  auto* s = new TGSSpat(&context);
  std::string circle;
  for (int k = 0; k < 24; ++k) {
    const double a = 2.0 * M_PI * k / 24.0;
    circle += (k > 0 ? ", " : "") + numbertext::Fixed(0.7 * std::cos(a), 6) + "," +
              numbertext::Fixed(0.7 * std::sin(a), 6);
  }
  s->pathSegments.SetValue(circle);
  s->trajectoryRate.SetValue(rate);
  context.Connect(new Steady(&context), 0, s, 0, false);
  auto* levels = new test::Recorder(&context, 2);
  context.Connect(s, 0, levels, 0, false);
  context.Connect(s, 1, levels, 1, false);
  const int lap = static_cast<int>(24.0 / rate * kBlocksPerSecond);
  double lowest = 1e30, highest = 0.0;
  for (int b = 0; b < lap + kBlocksPerSecond; ++b) {
    context.ProcessBlock();
    const double l = levels->recorded[0].back(), r = levels->recorded[1].back();
    for (auto& outlet : levels->recorded) outlet.clear();
    if (b < kBlocksPerSecond) continue;  // the first glides
    const double level = std::sqrt(l * l + r * r);
    lowest = std::min(lowest, level);
    highest = std::max(highest, level);
  }
  return 20.0 * std::log10(highest / lowest);
}

TEST(SSpatTest, AFastPathKeepsTheLevelSwingOfASlowOne) {
  // Fast enough that an unbounded distance smoother would sit at the block
  // rate, where it stands still.
  const double slow = LapSwingDecibels(0.5);
  const double fast = LapSwingDecibels(1.4356);
  std::printf("level swing over a lap: %.1f dB slow, %.1f dB fast\n", slow, fast);
  EXPECT_GT(slow, 12.0);
  EXPECT_NEAR(fast, slow, 1.0);
}

TEST(SSpatTest, TheSourceStartsAtThePathsFirstPoint) {
  const Rendered r =
      Render([](TGSSpat& s) { s.pathSegments.SetValue("0.5,0.5, -0.5,0.5, -0.5,-0.5, 0.5,-0.5"); },
             test::Constant(kBlockSize, 0.0f),
             [](TGSSpat& s, int) {
               EXPECT_NEAR(s.SourceX(), 0.5f, 1e-3f);
               EXPECT_NEAR(s.SourceY(), 0.5f, 1e-3f);
             });
}

TEST(SSpatTest, TheDefaultTriangleTakesSixSecondsAndRunsBackwardsToo) {
  for (double rate : {0.5, -0.5}) {
    std::vector<float> phase;
    Render([&](TGSSpat& s) { s.trajectoryRate.SetValue(rate); },
           test::Constant(static_cast<size_t>(7 * kSampleRate), 0.0f),
           [&](TGSSpat& s, int) { phase.push_back(s.Phase()); });
    for (float p : phase) ASSERT_TRUE(p >= 0.0f && p <= 1.0f);
    // One lap is 6 s: the phase is back where it started 1034 blocks on.
    const size_t lap = static_cast<size_t>(std::lround(6.0 * kSampleRate / kBlockSize));
    EXPECT_NEAR(std::fmod(phase[lap] - phase[0] + 1.5f, 1.0f), 0.5f, 0.01f);
    EXPECT_NEAR(std::fmod(phase[lap / 2] - phase[0] + 1.0f, 1.0f), 0.5f, 0.01f);
  }
}

TEST(SSpatPathTest, TheCurvePassesThroughEveryPointInRingOrder) {
  QSTrigSplinePath path(TGSSpat::kPathCapacity);
  ASSERT_TRUE(path.SetText("0.1,0.2, -0.3,0.4, 0.5,-0.6, -0.7,-0.8, 0.9,0"));
  ASSERT_EQ(path.PointCount(), 5);
  const int segment = path.TableLength() / 5;
  EXPECT_EQ(path.TableLength(), 5 * (TGSSpat::kPathCapacity / 5));
  // The table starts at the last point but one and runs on around the ring.
  const float xs[] = {-0.7f, 0.9f, 0.1f, -0.3f, 0.5f};
  const float ys[] = {-0.8f, 0.0f, 0.2f, 0.4f, -0.6f};
  for (int q = 0; q < 5; ++q) {
    EXPECT_NEAR(path.Entry(q * segment).x, xs[q], 1e-5f) << q;
    EXPECT_NEAR(path.Entry(q * segment).y, ys[q], 1e-5f) << q;
  }
  // Closed: the guard entry repeats the first, and the curve is continuous.
  EXPECT_EQ(path.Entry(path.TableLength()).x, path.Entry(0).x);
  for (int i = 1; i <= path.TableLength(); ++i) {
    ASSERT_LT(
        std::hypot(path.Entry(i).x - path.Entry(i - 1).x, path.Entry(i).y - path.Entry(i - 1).y),
        0.02f)
        << i;
  }
  // Turned a quarter about (0, 0), scaled and moved: (x, y) → (ox − s·y, oy + s·x).
  path.SetRotation(M_PI / 2);
  path.SetScale(2.0);
  path.SetOrigin(0.25f, -0.5f);
  const auto p = path.At(0.0);
  EXPECT_NEAR(p.x, 0.25f + 2.0f * 0.8f, 1e-4f);
  EXPECT_NEAR(p.y, -0.5f + 2.0f * -0.7f, 1e-4f);
}

std::string Points(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i > 0) text.append(", ");
    const double a = 2.0 * M_PI * i / count;
    text.append(numbertext::Fixed(0.5 * std::cos(a), 6))
        .append(",")
        .append(numbertext::Fixed(0.5 * std::sin(a), 6));
  }
  return text;
}

TEST(SSpatPathTest, TextsTheEditorCouldNotShowAreRefusedWithTheReason) {
  GraphHarness h;
  auto& s = h.Place<TGSSpat>();
  h.Feed(s, 0, test::Constant(kBlockSize * 8, 0.0f));
  const std::string hundred = Points(100);
  s.pathSegments.SetValue(hundred);
  EXPECT_EQ(s.PathProblem(), "");
  EXPECT_EQ(s.pathSegments.Value(), hundred);
  h.Run(1);
  const float x = s.SourceX(), y = s.SourceY();
  EXPECT_NEAR(std::hypot(x, y), 0.5f, 0.01f);

  // 100 points of long numbers: a document cuts the text at 4095 characters,
  // where it would still read as fewer points.
  std::string cut;
  for (int i = 0; i < 100; ++i)
    cut.append(i > 0 ? ", " : "").append("0.2,0.1000000000000000000000000000000001");
  ASSERT_GT(cut.size(), QSCStringProperty::kMaxLength);
  cut.resize(QSCStringProperty::kMaxLength);

  const std::pair<std::string, const char*> refused[] = {
      {Points(101), "too many points (at most 100)"},
      {cut, "too long (at most 4094 characters)"},
      {std::string(), "not x,y number pairs"},
      {"0,0.5, -0.5", "not x,y number pairs"},
      {"left,right", "not x,y number pairs"},
      {"0,nan, 1,1, 0,0", "not x,y number pairs"},
      {"0,0.5,, 1,1", "not x,y number pairs"},
      {"0.3,0.3", "too few points (at least 3)"},
      {"0.3,0.3, -0.3,0.3", "too few points (at least 3)"},
      {"0,0.99, -0.5,-0.2, 0.5,-0.2", "a point lies beyond -0.98..0.98"},
      {"0,-1.5, -0.5,-0.2, 1e40,-0.2", "a point lies beyond -0.98..0.98"}};
  for (const auto& [bad, why] : refused) {
    s.pathSegments.SetValue(bad);
    EXPECT_EQ(s.PathProblem(), why) << bad;
    EXPECT_EQ(s.ReadProblem(), std::string("Path: ").append(why));
    EXPECT_EQ(s.pathSegments.Value(), hundred) << bad;
  }
  h.Run(1);  // still the same path, travelled on
  EXPECT_NEAR(std::hypot(s.SourceX(), s.SourceY()), 0.5f, 0.01f);
  s.pathSegments.SetValue("0.98,-0.98, -0.98,0.98, 0,0");  // the editor's reach
  EXPECT_EQ(s.PathProblem(), "");
  EXPECT_EQ(s.ReadProblem(), "");
}

TEST(SSpatPathTest, ARotationBeyondOneTurnWrapsToTheSameDirection) {
  const auto positions = [](double rotation) {
    std::vector<std::pair<float, float>> at;
    Render([&](TGSSpat& s) { s.pathRotation.SetValue(rotation); },
           test::Constant(kBlockSize * 40, 0.0f),
           [&](TGSSpat& s, int) { at.emplace_back(s.SourceX(), s.SourceY()); });
    return at;
  };
  for (double rotation : {7.0, -7.0, 20.0}) {
    const auto wrapped = positions(std::fmod(rotation, TGSSpat::kMaxRotation));
    const auto given = positions(rotation);
    for (size_t b = 0; b < given.size(); ++b) {
      ASSERT_NEAR(given[b].first, wrapped[b].first, 1e-5f) << rotation << " block " << b;
      ASSERT_NEAR(given[b].second, wrapped[b].second, 1e-5f) << rotation << " block " << b;
    }
  }
  EXPECT_NEAR(TGSSpat::WrapRotation(7.0), 7.0 - TGSSpat::kMaxRotation, 1e-12);
  EXPECT_EQ(TGSSpat::WrapRotation(std::nan("")), 0.0);
}

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  quoted.append(text).append("\"");
  return quoted;
}

TEST(SSpatPathTest, ADocumentWithABadPathLoadsEverythingElseAndSaysWhy) {
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  TAudioEngineModule engine{factory};
  PatchModel model;
  PatchEditor patch(engine, model);
  test::ScriptedQueries queries;
  TGDocument document(patch, queries);
  ASSERT_NE(patch.NewContraption("SSpat", 30, 40), nullptr);
  ASSERT_NE(patch.NewContraption("Flanger", 200, 40), nullptr);
  auto& spat = static_cast<TGSSpat&>(model.NodeAt(0).contraption->Processor());
  spat.pathSegments.SetValue("0,0.9, -0.9,0, 0.9,0");
  spat.spaceScale.SetValue(7.0);
  model.NodeAt(0).contraption->StorePreset(3);
  std::ostringstream out;
  document.WriteTo(out);
  const std::string written = out.str();
  const std::string good = "\"0,0.9, -0.9,0, 0.9,0\"";
  ASSERT_NE(written.find(good), std::string::npos);

  // The value, then a preset holding the same path: both refused.
  const std::pair<std::string, const char*> refused[] = {
      {"\"0,0.9, junk\"", "SSpat_1: Path: not x,y number pairs"},
      {Quoted(Points(101)), "SSpat_1: Path: too many points (at most 100)"},
      // Padded: cut to fewer than 100 points when read.
      {Quoted(std::string(3000, ' ').append(Points(101))),
       "SSpat_1: Path: too long (at most 4094 characters)"}};
  for (const auto& [bad, report] : refused) {
    std::string text = written;
    text.replace(text.find(good), good.size(), bad);
    text.replace(text.find(good), good.size(), bad);
    document.New();
    std::istringstream in(text);
    ASSERT_TRUE(document.ReadFrom(in));
    ASSERT_EQ(model.NodeCount(), 2);
    ASSERT_EQ(document.ReadProblems().size(), 1u);
    EXPECT_EQ(document.ReadProblems()[0], report);
    TGardeningContraption& contraption = *model.NodeAt(0).contraption;
    auto& read = static_cast<TGSSpat&>(contraption.Processor());
    EXPECT_EQ(read.pathSegments.Value(), TGSSpat::kDefaultPath);
    EXPECT_EQ(read.spaceScale.Value(), 7.0);
    // Its presets after the refused path still read; recalling the bad one
    // keeps the path and says why.
    ASSERT_TRUE(contraption.HasPreset(3));
    read.pathSegments.SetValue("0,0.5, 0.5,0, 0,-0.5");
    contraption.RecallPreset(3);
    EXPECT_EQ(read.pathSegments.Value(), "0,0.5, 0.5,0, 0,-0.5");
    EXPECT_EQ(report, std::string("SSpat_1: ").append(read.ReadProblem()));
    EXPECT_EQ(read.spaceScale.Value(), 7.0);
    EXPECT_EQ(model.NodeAt(1).contraption->Maker().TypeName(), "Flanger");
  }
}

}  // namespace sspat_test
}  // namespace tg
