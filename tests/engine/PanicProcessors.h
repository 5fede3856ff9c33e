#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "framework/QSSignalProcessor.h"

namespace tg::test {

// Noise while `on`, silence otherwise: a sound that ends by itself, so that
// only the tails of what it fed are left.
class Burst final : public QSSignalProcessor {
 public:
  explicit Burst(QSDynSigContext* context) : QSSignalProcessor(context, 0, 1) {
    SetOutletSignal(0, &out_);
  }
  void Process() override {
    const bool sounding = on.load(std::memory_order_relaxed);
    for (int i = 0; i < kBlockSize; ++i) {
      seed_ = seed_ * 1103515245u + 12345u;
      const float noise = static_cast<float>((seed_ >> 16) & 0x7FFF) / 16384.0f - 1.0f;
      out_[i] = sounding ? noise * 0.5f : 0.0f;
    }
  }
  std::atomic<bool> on{true};

 private:
  QSSignal out_;
  uint32_t seed_ = 1;
};

// Spins longer than a block lasts while `busy`: audio out cannot keep up.
// Only ever registered by tests.
class BusyWait final : public QSSignalProcessor {
 public:
  explicit BusyWait(QSDynSigContext* context) : QSSignalProcessor(context, 0, 1) {
    SetOutletSignal(0, &out_);
  }
  void Process() override {
    if (!busy.load(std::memory_order_relaxed)) return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(12);
    while (std::chrono::steady_clock::now() < until) {
    }
  }
  std::atomic<bool> busy{true};

 private:
  QSSignal out_;
};

}  // namespace tg::test
