#include "dsp/QSCmixReverb.h"

#include <cmath>
#include <cstddef>

namespace tg {

namespace {

constexpr float kCombTimes[4] = {0.0297f, 0.0371f, 0.0411f, 0.0437f};
constexpr float kFirstAllpassTime = 0.005f;
constexpr float kOtherAllpassTime = 0.0017f;
constexpr double kMargin = 0.1;

void SetUp(QSCombFilter& filter, double frequency) {
  filter.frequency = frequency;
  filter.delay.Set(kSampleRate / frequency);
}

}  // namespace

QSCmixReverb::QSCmixReverb() {
  for (size_t i = 0; i < combs_.size(); ++i) {
    combs_[i] = std::make_unique<QSComb>(kCombTimes[i] + kMargin);
  }
  allpasses_[0] = std::make_unique<QSAllpass>(kFirstAllpassTime + kMargin);
  allpasses_[1] = std::make_unique<QSAllpass>(kOtherAllpassTime + kMargin);
  allpasses_[2] = std::make_unique<QSAllpass>(kOtherAllpassTime + kMargin);
  Tune();
}

void QSCmixReverb::Tune() {
  for (size_t i = 0; i < combs_.size(); ++i) SetUp(*combs_[i], 1.0 / kCombTimes[i]);
  SetUp(*allpasses_[0], 1.0 / kFirstAllpassTime);
  allpasses_[0]->feedback.Set(
      std::pow(0.001, (1.0 / allpasses_[0]->frequency) * 10.326844632622501725));

  const double factor = 30.372980196816909946;
  SetUp(*allpasses_[1], 1.0 / kOtherAllpassTime);
  allpasses_[1]->feedback.Set(std::pow(0.001, (1.0 / allpasses_[1]->frequency) * factor));

  SetUp(*allpasses_[2], 1.0 / (kOtherAllpassTime * 1.01));
  allpasses_[2]->feedback.Set(std::pow(0.001, (1.0 / allpasses_[2]->frequency) * factor));

  SetReverbTime(reverbTime_);
}

void QSCmixReverb::SetReverbTime(double seconds) {
  reverbTime_ = seconds;
  for (auto& comb : combs_) comb->feedback.Set(std::pow(0.001, (1.0 / comb->frequency) / seconds));
}

void QSCmixReverb::Clear() {
  for (auto& comb : combs_) comb->Clear();
  for (auto& allpass : allpasses_) allpass->Clear();
  dc_.Clear();
  Tune();  // the cleared ramps take every value at once again
}

void QSCmixReverb::Process(const float* in, float* outLeft, float* outRight) {
  dc_.Process(in, t0_.data(), kBlockSize);
  combs_[0]->ProcessBlockDelay(t0_.data(), t2_.data());
  for (size_t c = 1; c < combs_.size(); ++c)
    combs_[c]->ProcessBlockDelayAdd(t0_.data(), t2_.data());
  allpasses_[0]->ProcessBlockDelayScaled(t2_.data(), t1_.data(), 0.25f);
  allpasses_[1]->ProcessBlockDelay(t1_.data(), outLeft);
  allpasses_[2]->ProcessBlockDelay(t1_.data(), outRight);
}

}  // namespace tg
