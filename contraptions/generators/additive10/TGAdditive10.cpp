#include "contraptions/generators/additive10/TGAdditive10.h"

#include <string>

namespace tg {

TGAdditive10::TGAdditive10(QSDynSigContext* context)
    : QSSignalProcessor(context, 0, 1),
      glide_(static_cast<float>(kSampleRate / kBlockSize), kGlideCutoffHz) {
  SetOutletSignal(0, &out_);
  glide_.Jump(kStartFrequency);
  Tune(static_cast<float>(kStartFrequency));
  for (size_t k = 0; k < kPartials; ++k) levels_[k].Set(Level(k));
}

QSPropertyTable* TGAdditive10::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    add(fundamentalFrequency, "FundamentalFrequency", QSFrequencyUnits::Get(), kMinFrequency,
        kMaxFrequency);
    add(gain, "Gain", QSGainUnits::Get(), 0.0, 1.0);
    for (int k = 0; k < kPartials; ++k) {
      add(amp[static_cast<size_t>(k)], "Amp_" + std::to_string(k), QSGainUnits::Get(), 0.0, 1.0);
    }
  });
}

double TGAdditive10::Level(size_t k) const {
  return amp[k].ValueWithin(0.0, 1.0) * 0.5 * gain.ValueWithin(0.0, 1.0);
}

void TGAdditive10::Tune(float fundamental) {
  tunedTo_ = fundamental;
  for (size_t k = 0; k < kPartials; ++k) {
    const float hz = fundamental + fundamental * static_cast<float>(k);
    const float w = hz * 6.283185f / static_cast<float>(kSampleRate);
    rotors_.SetStep(static_cast<int>(k), w);
    // The fundamental's range keeps every partial below Nyquist; should that
    // ever change, a partial above it stays silent rather than folding back.
    audible_[k] = hz < kSampleRate / 2.0;
  }
}

void TGAdditive10::Reset() {
  glide_.Jump(fundamentalFrequency.ValueWithin(kMinFrequency, kMaxFrequency));
  Tune(glide_.Value());
  for (size_t k = 0; k < kPartials; ++k) {
    rotors_.Restart(static_cast<int>(k));
    levels_[k] = QSVInterp{};
    levels_[k].Set(Level(k));
  }
}

void TGAdditive10::Process() {
  if (fundamentalFrequency.TakeChanged()) {
    glide_.SetTarget(fundamentalFrequency.ValueWithin(kMinFrequency, kMaxFrequency));
  }
  const float f = glide_.Step();
  if (f != tunedTo_) Tune(f);

  bool levelsChanged = gain.TakeChanged();
  for (QSDoubleProperty& a : amp) levelsChanged = a.TakeChanged() || levelsChanged;
  if (levelsChanged) {
    for (size_t k = 0; k < kPartials; ++k) levels_[k].Set(Level(k));
  }

  float* out = out_.Data();
  bool settled = true;
  for (const QSVInterp& level : levels_) settled = settled && level.Settled();
  if (settled) {
    // Steady levels, as nearly always: the partials step side by side.
    std::array<float, kPartials> gains{};
    for (size_t k = 0; k < kPartials; ++k) {
      gains[k] = audible_[k] ? static_cast<float>(levels_[k].Value()) : 0.0f;
    }
    rotors_.FillSum(gains.data(), out);
  } else {
    float* partial = partial_.Data();
    for (size_t k = 0; k < kPartials; ++k) {
      rotors_.Fill(static_cast<int>(k), partial);
      if (!audible_[k]) {
        for (int i = 0; i < kBlockSize; ++i) partial[i] = 0.0f;
      }
      if (k == 0) {
        levels_[k].ApplyGain(partial, out);
      } else {
        levels_[k].AccumulateGain(partial, out);
      }
    }
  }
  rotors_.Renormalise();
}

}  // namespace tg
