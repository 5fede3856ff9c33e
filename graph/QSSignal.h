#pragma once

#include <array>
#include <cstddef>

#include "dsp/BlockConstants.h"

namespace tg {

// One block of samples. Signals are passed between pipes by pointer, so a
// signal's address must stay put for as long as an outlet names it.
class QSSignal {
 public:
  QSSignal() { samples_.fill(0.0f); }
  explicit QSSignal(float value) { samples_.fill(value); }
  QSSignal(const QSSignal&) = default;
  QSSignal& operator=(const QSSignal&) = default;

  // Every unconnected inlet reads this one; nothing may write it.
  static const QSSignal& Silent();
  // Every outlet names this one until its pipe assigns its own signal.
  static QSSignal* Unassigned();

  float* Data() { return samples_.data(); }
  const float* Data() const { return samples_.data(); }
  float& operator[](int i) { return samples_[static_cast<std::size_t>(i)]; }
  float operator[](int i) const { return samples_[static_cast<std::size_t>(i)]; }
  static constexpr int Size() { return kBlockSize; }

  void Fill(float value) { samples_.fill(value); }
  void CopyFrom(const QSSignal& other) { samples_ = other.samples_; }

  QSSignal& operator+=(const QSSignal& other);
  QSSignal& operator-=(const QSSignal& other);
  QSSignal& operator*=(const QSSignal& other);
  QSSignal& operator/=(const QSSignal& other);
  QSSignal& operator+=(float k);
  QSSignal& operator-=(float k);
  QSSignal& operator*=(float k);
  QSSignal& operator/=(float k);

  // this += a × k
  void AddScaled(const QSSignal& a, float k);
  // this += a × b
  void AddProduct(const QSSignal& a, const QSSignal& b);
  // this = a × k
  void SetScaled(const QSSignal& a, float k);
  // this = a × b
  void SetProduct(const QSSignal& a, const QSSignal& b);

 private:
  alignas(64) std::array<float, kBlockSize> samples_;
};

}  // namespace tg
