#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "dsp/GainSmoother.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSBoolProperty.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

// The gate matrices: N inputs routed to N outputs through N × N on/off
// gates; every output is the sum of the inputs gated to it. A gate fades in
// and out with a one-pole smoother, so switching never clicks.
class TGGateMatrix : public QSSignalProcessor {
 public:
  static constexpr double kMinFadeTime = 1.0;  // milliseconds
  static constexpr double kMaxFadeTime = 100000.0;

  void Process() override;
  void Reset() override;

  int Size() const { return size_; }
  virtual QSBoolProperty& gate(int input, int output) = 0;
  // The gain gate (input → output) has reached.
  float GateLevel(int input, int output) const {
    return levels_[static_cast<size_t>(input * size_ + output)].Value();
  }
  // The smoothers' pole for a fade time in milliseconds. A time under
  // kMinFadeTime (or not a number) fades as kMinFadeTime does.
  static float FadePole(double fadeMilliseconds);

  QSDoubleProperty fadeTime{50.0};

 protected:
  TGGateMatrix(QSDynSigContext* context, int size);
  // "Gate2_3": the gate from input 2 to output 3.
  static std::string GateName(int input, int output) {
    char name[32];
    std::snprintf(name, sizeof name, "Gate%d_%d", input, output);
    return name;
  }

 private:
  void SetFade(double fadeMilliseconds);

  int size_;
  std::vector<GainSmoother> levels_;  // input-major, as the gates
  std::vector<QSSignal> outputs_;
};

template <int N>
class TGSizedGateMatrix final : public TGGateMatrix {
 public:
  explicit TGSizedGateMatrix(QSDynSigContext* context) : TGGateMatrix(context, N) {}
  QSBoolProperty& gate(int input, int output) override {
    return gates_[static_cast<size_t>(input * N + output)];
  }
  QSPropertyTable* GetPropertyTable() override {
    static QSStaticPropertyTable::ClassInfo info;
    return table_.Bind(info, [this](auto& add) {
      add(fadeTime, "FadeTime", QSTimeMillisecondsUnits::Get(), 0.0, kMaxFadeTime);
      for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) add(gate(i, j), GateName(i, j));
      }
    });
  }

 private:
  std::array<QSBoolProperty, N * N> gates_;
  QSStaticPropertyTable table_;
};

using TG4x4Matrix = TGSizedGateMatrix<4>;
using TG8x8Matrix = TGSizedGateMatrix<8>;

}  // namespace tg
