#include "contraptions/filters/combs5/TG5Combs.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "dsp/NonFinite.h"

namespace tg {

namespace {

std::string Indexed(const char* stem, int i) { return stem + std::to_string(i); }

}  // namespace

TG5Combs::TG5Combs(QSDynSigContext* context) : QSSignalProcessor(context, 1, 1) {
  SetOutletSignal(0, &out_);
}

QSPropertyTable* TG5Combs::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    add(inputGain, "InputGain", QSGainUnits::Get(), 0.0, 1.0);
    for (int i = 0; i < kCombs; ++i) {
      add(frequency[static_cast<size_t>(i)], Indexed("Frequency_", i), QSFrequencyUnits::Get(),
          kMinFrequency, kMaxFrequency);
    }
    for (int i = 0; i < kCombs; ++i) {
      add(reverbTime[static_cast<size_t>(i)], Indexed("ReverbTime_", i), QSTimeSecondsUnits::Get(),
          kMinReverbTime, kMaxReverbTime);
    }
    for (int i = 0; i < kCombs; ++i) {
      add(gain[static_cast<size_t>(i)], Indexed("Gain_", i), QSGainUnits::Get(), 0.0, kMaxGain);
    }
  });
}

void TG5Combs::Reset() {
  for (QSComb& comb : combs_) comb.Clear();
  dc_.Clear();
  // The next block tunes every comb again, as the first one did.
  inputRamp_ = QSVInterp{};
  inputGain.RaiseChanged();
  for (int i = 0; i < kCombs; ++i) {
    frequency[static_cast<size_t>(i)].RaiseChanged();
    reverbTime[static_cast<size_t>(i)].RaiseChanged();
    gainRamps_[static_cast<size_t>(i)] = QSVInterp{};
    gain[static_cast<size_t>(i)].RaiseChanged();
  }
}

void TG5Combs::Process() {
  for (size_t i = 0; i < kCombs; ++i) {
    QSComb& comb = combs_[i];
    if (frequency[i].TakeChanged()) {
      comb.frequency = frequency[i].ValueWithin(kMinFrequency, kMaxFrequency);
      comb.delay.Set(kSampleRate / comb.frequency);
    }
    // A new frequency alone keeps the loop gain: the ring-out then scales
    // with the period until the time is set again.
    if (reverbTime[i].TakeChanged()) {
      const double seconds = reverbTime[i].ValueWithin(kMinReverbTime, kMaxReverbTime);
      comb.feedback.Set(std::pow(0.001, (1.0 / comb.frequency) / seconds));
    }
  }

  // Every gain glides through the block, never a step.
  if (inputGain.TakeChanged()) inputRamp_.Set(inputGain.ValueWithin(0.0, 1.0));
  for (size_t i = 0; i < kCombs; ++i) {
    if (gain[i].TakeChanged()) gainRamps_[i].Set(gain[i].ValueWithin(0.0, kMaxGain));
  }

  float* a = combIn_.Data();
  inputRamp_.ApplyGain(InletSignal(0).Data(), a);
  noise_.AddTo(a, kBlockSize);
  // The combs and the blocker feed themselves back: a NaN once would stay.
  SilenceNonFinite(a, kBlockSize);
  dc_.Process(a, kBlockSize);

  float* c = out_.Data();
  for (size_t i = 0; i < kCombs; ++i) {
    QSVInterp& ramp = gainRamps_[i];
    if (ramp.Settled()) {  // as nearly always: the gain goes into the comb's own loop
      const auto g = static_cast<float>(ramp.Value());
      if (i == 0) {
        combs_[i].ProcessScaled(a, c, g);
      } else {
        combs_[i].ProcessAdd(a, c, g);
      }
    } else {
      combs_[i].Process(a, work_.Data());
      if (i == 0) {
        ramp.ApplyGain(work_.Data(), c);
      } else {
        ramp.AccumulateGain(work_.Data(), c);
      }
    }
  }
}

}  // namespace tg
