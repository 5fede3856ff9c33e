#pragma once

#include <atomic>
#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>

#include "properties/QSProperty.h"

namespace tg {

// A property whose value fits in one lock-free atomic word, so the audio
// thread can read it at any time without tearing.
// Small aggregates (a float pair, eight chars) travel as one 64-bit word.
template <typename T, QSProperty::Kind K, typename Derived>
class QSValueProperty : public QSProperty {
  using Storage = std::conditional_t<std::is_arithmetic_v<T>, T, uint64_t>;
  static_assert(sizeof(Storage) == sizeof(T) && std::is_trivially_copyable_v<T>);
  static_assert(std::atomic<Storage>::is_always_lock_free);

 public:
  using ValueType = T;

  explicit QSValueProperty(T initial) : QSProperty(K), value_(std::bit_cast<Storage>(initial)) {}

  // Any thread.
  T Value() const { return std::bit_cast<T>(value_.load(std::memory_order_relaxed)); }
  // UI thread.
  void SetValue(T value) {
    value_.store(std::bit_cast<Storage>(value), std::memory_order_relaxed);
    RaiseChanged();
  }
  // The processor's side (audio or worker thread): a state it keeps, such as
  // a position, stored without raising the changed flag, so it is never
  // taken for the user's edit.
  void Publish(T value) { value_.store(std::bit_cast<Storage>(value), std::memory_order_relaxed); }
  void CopyFrom(const Derived& other) { SetValue(other.Value()); }

  std::unique_ptr<QSProperty> Clone() const override {
    auto copy = std::make_unique<Derived>(Value());
    copy->CopyReservedFlagFrom(*this);
    return copy;
  }
  std::optional<double> NumericValue() const override {
    if constexpr (std::is_arithmetic_v<T>) {
      return static_cast<double>(Value());
    } else {
      return std::nullopt;
    }
  }
  bool SetNumericValue(double value) override {
    if constexpr (std::is_same_v<T, bool>) {
      SetValue(value != 0.0);
      return true;
    } else if constexpr (std::is_arithmetic_v<T>) {
      SetValue(static_cast<T>(value));
      return true;
    } else {
      return false;
    }
  }
  // Same kind code means same class; the checked cast says so to the compiler too.
  void AssignFrom(const QSProperty& other) override {
    if (other.KindCode() != KindCode()) return;
    if (const auto* same = dynamic_cast<const Derived*>(&other)) CopyFrom(*same);
  }

 private:
  std::atomic<Storage> value_;
};

}  // namespace tg
