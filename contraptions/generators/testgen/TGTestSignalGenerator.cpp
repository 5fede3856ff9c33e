#include "contraptions/generators/testgen/TGTestSignalGenerator.h"

namespace tg {

TGTestSignalGenerator::TGTestSignalGenerator(QSDynSigContext* context)
    : QSSignalProcessor(context, 0, 1),
      noise_(QSNoiseSource::ClockSeed(), -1.0, 2.0),
      smoother_(static_cast<float>(kSampleRate), 20.0) {
  SetOutletSignal(0, &out_);
  rotor_.SetStep(2764.601402282715 / kSampleRate);  // 440 Hz
}

QSPropertyTable* TGTestSignalGenerator::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    add(amplitude, "Amplitude", QSAbstractUnits::Get(), 0.0, 1.0);
    add(frequency, "Frequency", QSAbstractUnits::Get(), 10.0, 20000.0);
    add(waveform, "Waveform", QSAbstractUnits::Get(), 0.0, 1.0);  // 1 sine, else noise
  });
}

void TGTestSignalGenerator::Process() {
  if (waveform.Value() == 1) {
    if (frequency.TakeChanged()) {
      const auto w =
          static_cast<float>(static_cast<float>(frequency.Value()) * 6.283185 / kSampleRate);
      rotor_.SetStep(w);
    }
    rotor_.Fill(out_.Data());
  } else {
    noise_.Fill(out_.Data());
  }
  if (amplitude.TakeChanged()) smoother_.SetTarget(amplitude.Value());
  smoother_.Apply(out_.Data(), out_.Data());
}

}  // namespace tg
