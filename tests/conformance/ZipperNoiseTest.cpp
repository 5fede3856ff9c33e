// A parameter that scales a signal, jumped from one end of its range to the
// other while a tone plays, must not click: a step of a gain on a sine
// sprays energy over the whole spectrum, a ramp of a block hardly any.
// Checked for every parameter of every registered type that the type's
// descriptor counts as one (ContraptionDescriptor::ScalesSignal).
#include <cmath>
#include <cstdio>
#include <vector>

#include "properties/QSRangeProperty.h"
#include "tests/conformance/ConformanceHarness.h"
#include "tests/contraptions/NotchProbe.h"
#include "tests/support/GraphHarness.h"

namespace tg {
namespace zipper_noise_test {

constexpr double kToneHz = 1000.0;
constexpr double kToneAmplitude = 0.5;  // -6 dBFS
constexpr size_t kWindow = 882;         // 20 ms
constexpr size_t kPadded = 1024;
constexpr double kLowestClickHz = 5000.0;
constexpr size_t kLater = 22050;  // 0.5 s
// Blocks before a jump, and after it: past the window half a second later.
// At the default tempo the jumps of the first level fall a fifth and three
// tenths into a sixteenth note, where a sequencer's note sounds.
constexpr int kBefore = 56;
constexpr int kAfter = 88;
static_assert(kAfter * kBlockSize >= kLater + kWindow / 2);

// The same steady tone on every inlet.
class ToneSource final : public QSSignalProcessor {
 public:
  explicit ToneSource(QSDynSigContext* context) : QSSignalProcessor(context, 0, 1) {
    SetOutletSignal(0, &out_);
  }
  void Process() override {
    for (int i = 0; i < kBlockSize; ++i, ++n_) {
      out_[i] = static_cast<float>(
          kToneAmplitude * std::sin(2.0 * M_PI * kToneHz * static_cast<double>(n_) / kSampleRate));
    }
  }

 private:
  QSSignal out_;
  int64_t n_ = 0;
};

// Energy of a Hann window centred on a sample, in the bins from `fromHz` up.
double BandEnergy(const std::vector<float>& s, size_t centre, double fromHz) {
  const auto p = test::PowerSpectrum(s, centre - kWindow / 2, kWindow, kPadded);
  double sum = 0.0;
  for (size_t k = static_cast<size_t>(std::ceil(fromHz * kPadded / kSampleRate)); k < p.size(); ++k)
    sum += p[k];
  return sum;
}

double Decibels(double ratio) { return 10.0 * std::log10(std::max(ratio, 1e-30)); }

class ZipperNoise : public test::ConformanceFixture {
 protected:
  void SetUp() override {
    TGardeningContraption& c = Make();
    processor_ = &c.Processor();
    const ContraptionDescriptor* type = factory.DescriptorOf(GetParam());
    ASSERT_NE(type, nullptr);
    QSPropertyTable& table = *processor_->GetPropertyTable();
    for (int i = 0; i < table.Count(); ++i) {
      const QSPropertyInfo& info = table.InfoAt(i);
      if (!info.isState && type->ScalesSignal(info)) levels_.push_back(i);
    }
    QSDynSigContext& context = engine.GetContext();
    for (int i = 0; i < processor_->InletCount(); ++i) {
      tones_.push_back(new ToneSource(&context));
      context.Connect(tones_.back(), 0, processor_, i, false);
    }
    recorder_ = new test::Recorder(&context, processor_->OutletCount());
    for (int o = 0; o < processor_->OutletCount(); ++o)
      context.Connect(processor_, o, recorder_, o, false);
    // The sequencers play only while the clock runs.
    context.Clock().SetRunning(true);
    tone_.resize(kPadded);
    for (size_t n = 0; n < tone_.size(); ++n)
      tone_[n] = static_cast<float>(
          kToneAmplitude * std::sin(2.0 * M_PI * kToneHz * static_cast<double>(n) / kSampleRate));
  }

  // Sets a parameter to a share of its range: both ends of a range parameter.
  void SetShare(int position, double share) {
    QSPropertyTable& table = *processor_->GetPropertyTable();
    QSProperty& p = table.PropertyAt(position);
    const QSPropertyInfo& info = table.InfoAt(position);
    const double v = p.KindCode() == QSProperty::kBool
                         ? (share >= 0.5 ? 1.0 : 0.0)
                         : info.minimum + share * (info.maximum - info.minimum);
    if (auto* range = dynamic_cast<QSRangeProperty*>(&p)) {
      range->SetValue(FloatRange{static_cast<float>(v), static_cast<float>(v)});
    } else {
      p.SetNumericValue(v);
    }
  }
  void Run(int blocks) {
    for (int b = 0; b < blocks; ++b) engine.GetContext().ProcessBlock();
  }
  size_t Recorded() const { return recorder_->recorded[0].size(); }

  // How much a jump at a sample stands out on the worst outlet: the energy
  // above 5 kHz around it over that of half a second later, and over the
  // tone's full energy as it comes out (or goes in, when it comes out
  // quieter): a click is heard against the sound it is in.
  struct Click {
    double overLater = -300.0;
    double belowTone = -300.0;
    bool Passes() const { return overLater <= 6.0 || belowTone <= -60.0; }
  };
  Click Measure(size_t at) const {
    const double tone = BandEnergy(tone_, kPadded / 2, 0.0);
    Click worst;
    for (const std::vector<float>& s : recorder_->recorded) {
      const double now = BandEnergy(s, at, kLowestClickHz);
      const double sound = std::max(tone, BandEnergy(s, at, 0.0));
      const Click c{Decibels(now / BandEnergy(s, at + kLater, kLowestClickHz)),
                    Decibels(now / sound)};
      if (worst.Passes() && (!c.Passes() || c.belowTone > worst.belowTone)) worst = c;
    }
    return worst;
  }

  // Every level in turn: from its lowest to its highest value and back,
  // each jump measured.
  void JumpEveryLevel(const std::string& feeding) {
    QSPropertyTable& table = *processor_->GetPropertyTable();
    for (int position : levels_) SetShare(position, 0.5);  // nothing silenced
    Run(kBefore);
    for (int position : levels_) {
      const std::string& name = table.InfoAt(position).name;
      for (auto& s : recorder_->recorded) s.clear();
      SetShare(position, 0.0);
      Run(kBefore);
      const size_t up = Recorded();
      SetShare(position, 1.0);
      Run(kAfter);
      const size_t down = Recorded();
      SetShare(position, 0.0);
      Run(kAfter);
      SetShare(position, 0.5);
      const Click rise = Measure(up), fall = Measure(down);
      std::printf(
          "%s %s (%s): up %.1f dB below the sound, %+.1f dB on 0.5 s later; "
          "down %.1f dB, %+.1f dB\n",
          GetParam().c_str(), name.c_str(), feeding.c_str(), -rise.belowTone, rise.overLater,
          -fall.belowTone, fall.overLater);
      EXPECT_TRUE(rise.Passes()) << name << " up, " << feeding;
      EXPECT_TRUE(fall.Passes()) << name << " down, " << feeding;
    }
  }

  QSSignalProcessor* processor_ = nullptr;
  std::vector<ToneSource*> tones_;
  test::Recorder* recorder_ = nullptr;
  std::vector<int> levels_;
  std::vector<float> tone_;
};

TEST_P(ZipperNoise, EveryLevelJumpedEndToEndGlidesWithoutAClick) {
  if (levels_.empty() || processor_->OutletCount() == 0) GTEST_SKIP() << "nothing to hear";
  JumpEveryLevel("every inlet fed");
  // A second inlet may change what the first does (RingAM's modulator).
  if (tones_.size() < 2) return;
  for (size_t i = 1; i < tones_.size(); ++i)
    engine.GetContext().Disconnect(tones_[i], 0, processor_, static_cast<int>(i));
  JumpEveryLevel("the first inlet only");
}

INSTANTIATE_TEST_SUITE_P(EveryType, ZipperNoise, ::testing::ValuesIn(test::RegisteredTypeNames()),
                         test::TestNameOf);

}  // namespace zipper_noise_test
}  // namespace tg
