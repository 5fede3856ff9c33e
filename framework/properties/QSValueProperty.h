#pragma once

#include <atomic>
#include <memory>

#include "framework/properties/QSProperty.h"

namespace tg {

// A property whose value fits in one lock-free atomic word, so the audio
// thread can read it at any time without tearing.
template <typename T, QSProperty::Kind K, typename Derived>
class QSValueProperty : public QSProperty {
  static_assert(std::atomic<T>::is_always_lock_free);

 public:
  using ValueType = T;

  explicit QSValueProperty(T initial) : QSProperty(K), value_(initial) {}

  // Any thread.
  T Value() const { return value_.load(std::memory_order_relaxed); }
  // UI thread.
  void SetValue(T value) {
    value_.store(value, std::memory_order_relaxed);
    RaiseChanged();
  }
  void CopyFrom(const Derived& other) { SetValue(other.Value()); }

  std::unique_ptr<QSProperty> Clone() const override {
    auto copy = std::make_unique<Derived>(Value());
    copy->CopyReservedFlagFrom(*this);
    return copy;
  }
  // Same kind code means same class; the checked cast says so to the compiler too.
  void AssignFrom(const QSProperty& other) override {
    if (other.KindCode() != KindCode()) return;
    if (const auto* same = dynamic_cast<const Derived*>(&other)) CopyFrom(*same);
  }

 private:
  std::atomic<T> value_;
};

}  // namespace tg
