#pragma once

#include <cmath>
#include <numbers>

#include "framework/QSSignalProcessor.h"
#include "properties/QSDoubleProperty.h"

namespace tg::demo {

// A sine tone with a frequency and an amplitude parameter.
class SineTone final : public QSSignalProcessor {
 public:
  explicit SineTone(QSDynSigContext* context) : QSSignalProcessor(context, 0, 1) {
    SetOutletSignal(0, &out_);
  }
  QSPropertyTable* GetPropertyTable() override {
    static QSStaticPropertyTable::ClassInfo info;
    return table_.Bind(info, [this](auto& add) {
      add(frequency, "Frequency", QSFrequencyUnits::Get(), 20.0, 20000.0);
      add(amplitude, "Amplitude", QSGainUnits::Get(), 0.0, 1.0);
    });
  }
  void Process() override {
    if (frequency.TakeChanged()) step_ = 2.0 * std::numbers::pi * frequency.Value() / kSampleRate;
    const auto a = static_cast<float>(amplitude.Value());
    for (int i = 0; i < kBlockSize; ++i) {
      out_[i] = a * static_cast<float>(std::sin(phase_));
      phase_ = std::fmod(phase_ + step_, 2.0 * std::numbers::pi);
    }
  }
  QSDoubleProperty frequency{440.0};
  QSDoubleProperty amplitude{0.5};

 private:
  QSStaticPropertyTable table_;
  QSSignal out_;
  double phase_ = 0.0;
  double step_ = 0.0;
};

// Adds its two inputs, scaling the second: with its output fed back into
// the second inlet it is a one-block echo.
class FeedbackAdder final : public QSSignalProcessor {
 public:
  explicit FeedbackAdder(QSDynSigContext* context) : QSSignalProcessor(context, 2, 1) {
    SetOutletSignal(0, &out_);
  }
  QSPropertyTable* GetPropertyTable() override {
    static QSStaticPropertyTable::ClassInfo info;
    return table_.Bind(
        info, [this](auto& add) { add(feedback, "Feedback", QSFractionUnits::Get(), 0, 1); });
  }
  void Process() override {
    out_.CopyFrom(InletSignal(0));
    out_.AddScaled(InletSignal(1), static_cast<float>(feedback.Value()));
  }
  QSDoubleProperty feedback{0.9};

 private:
  QSStaticPropertyTable table_;
  QSSignal out_;
};

}  // namespace tg::demo
