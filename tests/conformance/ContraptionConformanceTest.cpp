// What every contraption type must do, checked for each registered type:
// a new type is held to these without anyone writing them again.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "dsp/QSNoiseSource.h"
#include "properties/QSRangeProperty.h"
#include "properties/TextIO.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "tests/conformance/ConformanceHarness.h"
#include "tests/support/GraphHarness.h"
#include "tests/support/ScriptedQueries.h"
#include "tests/support/TestProcessors.h"

namespace tg {
namespace contraption_conformance_test {

using test::ConformanceFixture;
using test::MoveEveryParameter;

constexpr int kTenSeconds = static_cast<int>(10 * kSampleRate / kBlockSize);
// No contraption amplifies a full-scale input to more than this.
constexpr float kSaneBound = 16.0f;

std::string Written(const QSProperty& p) {
  std::ostringstream out;
  p.WriteTo(out);
  return out.str();
}

class ContraptionConformance : public ConformanceFixture {
 protected:
  // Noise, then silence, then impulses: a third of the run each.
  static std::vector<float> Workload(int blocks, int32_t seed) {
    QSNoiseSource noise(seed, -1.0, 2.0);
    const size_t n = static_cast<size_t>(blocks) * kBlockSize;
    std::vector<float> s(n, 0.0f);
    for (size_t i = 0; i < n / 3; ++i) s[i] = static_cast<float>(noise.Next());
    for (size_t i = 2 * n / 3; i < n; i += static_cast<size_t>(kSampleRate / 2)) s[i] = 1.0f;
    return s;
  }
  // Every inlet fed, every outlet recorded.
  test::Recorder& Wire(QSSignalProcessor& p, const std::vector<std::vector<float>>& inputs) {
    QSDynSigContext& context = engine.GetContext();
    for (int i = 0; i < p.InletCount(); ++i) {
      auto* source = new test::ScriptedSource(&context);
      source->samples = inputs[static_cast<size_t>(i)];
      context.Connect(source, 0, &p, i, false);
    }
    auto* recorder = new test::Recorder(&context, p.OutletCount());
    for (int o = 0; o < p.OutletCount(); ++o) context.Connect(&p, o, recorder, o, false);
    return *recorder;
  }
  void Run(int blocks) {
    for (int b = 0; b < blocks; ++b) engine.GetContext().ProcessBlock();
  }
  static void ExpectFiniteAndBounded(const test::Recorder& r, size_t from,
                                     const std::string& what) {
    for (size_t o = 0; o < r.recorded.size(); ++o) {
      const std::vector<float>& s = r.recorded[o];
      for (size_t i = from; i < s.size(); ++i) {
        if (!std::isfinite(s[i]) || std::fabs(s[i]) > kSaneBound) {
          ADD_FAILURE() << what << ": outlet " << o << " sample " << i << " is " << s[i];
          return;
        }
      }
    }
  }
};

TEST_P(ContraptionConformance, EveryNumericParameterDeclaresItsRangeAndDefault) {
  QSPropertyTable& table = *Make().Processor().GetPropertyTable();
  for (int i = 0; i < table.Count(); ++i) {
    const QSProperty& p = table.PropertyAt(i);
    const QSPropertyInfo& info = table.InfoAt(i);
    if (p.KindCode() != QSProperty::kInt && p.KindCode() != QSProperty::kDouble) continue;
    EXPECT_TRUE(info.HasRange()) << info.name << " declares no range";
    ASSERT_TRUE(info.defaultValue.has_value()) << info.name;
    EXPECT_GE(*info.defaultValue, info.minimum) << info.name;
    EXPECT_LE(*info.defaultValue, info.maximum) << info.name;
  }
}

TEST_P(ContraptionConformance, ADocumentGivesBackEveryValueAndPresetByteForByte) {
  PatchModel model;
  PatchEditor patch(engine, model);
  test::ScriptedQueries queries;
  TGDocument document(patch, queries);
  auto roundTrip = [&] {
    std::ostringstream first;
    document.WriteTo(first);
    document.New();
    std::istringstream in(first.str());
    EXPECT_TRUE(document.ReadFrom(in));
    EXPECT_TRUE(document.ReadProblems().empty()) << first.str();
    std::ostringstream second;
    document.WriteTo(second);
    EXPECT_EQ(second.str(), first.str());
  };
  PatchNode* node = patch.NewContraption(GetParam(), 30, 40);
  ASSERT_NE(node, nullptr);
  roundTrip();  // as new

  ASSERT_EQ(model.NodeCount(), 1);
  TGardeningContraption& c = *model.NodeAt(0).contraption;
  c.StorePreset(0);
  MoveEveryParameter(c.Processor());
  c.StorePreset(19);
  roundTrip();  // every parameter moved, two presets
}

TEST_P(ContraptionConformance, PresetsStoreAndRecallEveryParameter) {
  TGardeningContraption& c = Make();
  QSPropertyTable& table = *c.Processor().GetPropertyTable();
  auto values = [&] {
    std::vector<std::string> v;
    for (int i = 0; i < table.Count(); ++i) v.push_back(Written(table.PropertyAt(i)));
    return v;
  };
  const auto fresh = values();
  c.StorePreset(4);
  MoveEveryParameter(c.Processor());
  const auto moved = values();
  c.StorePreset(5);
  c.RecallPreset(4);
  EXPECT_EQ(values(), fresh);
  c.RecallPreset(5);
  EXPECT_EQ(values(), moved);
}

TEST_P(ContraptionConformance, TenSecondsOfAnyInputGiveFiniteBoundedOutput) {
  TGardeningContraption& c = Make();
  std::vector<std::vector<float>> inputs;
  for (int i = 0; i < c.Processor().InletCount(); ++i) {
    std::vector<float> input = Workload(kTenSeconds, 17 + i);
    input.insert(input.end(), input.begin(), input.end());  // once as new, once moved
    inputs.push_back(std::move(input));
  }
  test::Recorder& recorder = Wire(c.Processor(), inputs);
  Run(kTenSeconds);
  MoveEveryParameter(c.Processor());
  Run(kTenSeconds);
  ExpectFiniteAndBounded(recorder, 0, GetParam());
}

// Whatever a hand-written document gives a numeric parameter, far beyond
// either end or at the ends, the processor gets it held to the declared
// range, and what it plays stays finite.
TEST_P(ContraptionConformance, DocumentValuesAreHeldToTheDeclaredRanges) {
  TGardeningContraption& c = Make();
  QSPropertyTable& table = *c.Processor().GetPropertyTable();
  std::vector<std::vector<float>> inputs(static_cast<size_t>(c.Processor().InletCount()),
                                         Workload(4 * table.Count() * 4 + 8, 5));
  test::Recorder& recorder = Wire(c.Processor(), inputs);
  for (int i = 0; i < table.Count(); ++i) {
    QSProperty& p = table.PropertyAt(i);
    const QSPropertyInfo& info = table.InfoAt(i);
    const uint16_t kind = p.KindCode();
    if (info.isState || !info.HasRange() ||
        (kind != QSProperty::kInt && kind != QSProperty::kDouble && kind != QSProperty::kRange))
      continue;
    // An integer has no text beyond its own limits that reads as one.
    const bool integer = kind == QSProperty::kInt;
    const auto text = [integer](double v) {
      return integer ? std::to_string(static_cast<long long>(v)) : textio::FormatDouble(v);
    };
    const std::vector<std::pair<std::string, double>> cases{
        {integer ? "-2147483648" : "-1e30", -1e30},
        {integer ? "2147483647" : "1e30", 1e30},
        {text(info.minimum), info.minimum},
        {text(info.maximum), info.maximum}};
    // The value this parameter takes from a document that gives it text.
    const auto read = [&](const std::string& value) {
      std::string list = "{ ";
      for (int k = 0; k < table.Count(); ++k) {
        if (k > 0) list += ", ";
        if (k != i) {
          list += Written(table.PropertyAt(k));
        } else {
          list += kind == QSProperty::kRange ? value + " " + value : value;
        }
      }
      std::istringstream in(list + " }");
      table.ReadFrom(in);
      return Written(p);
    };
    for (const auto& [given, number] : cases) {
      const std::string expected = read(text(std::clamp(number, info.minimum, info.maximum)));
      EXPECT_EQ(read(given), expected) << info.name << " read as " << given;
      Run(4);
    }
  }
  for (const std::vector<float>& out : recorder.recorded) {
    const auto bad =
        std::find_if(out.begin(), out.end(), [](float v) { return !std::isfinite(v); });
    EXPECT_EQ(bad, out.end()) << GetParam() << ": sample " << (bad - out.begin());
  }
}

// Gives back a thousandth of its input: a resonator (5Combs rings 400 times
// louder at its pitch) is stable in a loop through it, and NaN stays NaN.
class LoopReturn final : public QSSignalProcessor {
 public:
  explicit LoopReturn(QSDynSigContext* context) : QSSignalProcessor(context, 1, 1) {
    SetOutletSignal(0, &out_);
  }
  void Process() override {
    for (int i = 0; i < kBlockSize; ++i) out_[i] = 1e-3f * InletSignal(0)[i];
  }

 private:
  QSSignal out_;
};

// A loop through the contraption: NaN and infinity arrive for a moment; once
// they stop and any delay has emptied, what circulates is finite again.
TEST_P(ContraptionConformance, NaNAndInfinityDoNotPoisonAFeedbackLoop) {
  TGardeningContraption& c = Make();
  QSSignalProcessor& p = c.Processor();
  if (p.InletCount() == 0 || p.OutletCount() == 0) GTEST_SKIP() << "no loop through it";
  MoveEveryParameter(p);
  QSDynSigContext& context = engine.GetContext();
  auto* poison = new test::ScriptedSource(&context);
  for (float v : {NAN, INFINITY, -INFINITY, 1.0f})
    poison->samples.insert(poison->samples.end(), 2 * kBlockSize, v);
  auto* adder = new test::TestPipe(&context, 2, 1);
  context.Connect(poison, 0, adder, 0, false);
  context.Connect(adder, 0, &p, 0, false);
  auto* back = new LoopReturn(&context);
  context.Connect(&p, 0, back, 0, false);
  context.Connect(back, 0, adder, 1, false);
  auto* recorder = new test::Recorder(&context, p.OutletCount());
  for (int o = 0; o < p.OutletCount(); ++o) context.Connect(&p, o, recorder, o, false);
  ASSERT_TRUE(p.IsScheduled());
  const int settle = static_cast<int>(5 * kSampleRate / kBlockSize);  // past any delay line
  Run(settle + 40);
  ExpectFiniteAndBounded(*recorder, static_cast<size_t>(settle) * kBlockSize, "after the poison");
}

INSTANTIATE_TEST_SUITE_P(EveryType, ContraptionConformance,
                         ::testing::ValuesIn(test::RegisteredTypeNames()), test::TestNameOf);

}  // namespace contraption_conformance_test
}  // namespace tg
