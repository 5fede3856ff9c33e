#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>

namespace tg {

// One parameter of a processor. The user-interface thread stores a value and
// then raises the changed flag; the audio thread tests and clears the flag at
// the start of a block and recomputes what depends on the value. Flag and
// numeric values are atomics, so neither side ever waits for the other.
class QSProperty {
 public:
  enum Kind : uint16_t { kBool = 0, kInt = 1, kDouble = 2, kRange = 3, kCString = 5, k8Chars = 6 };
  static constexpr uint16_t kKindMask = 0x3FFF;
  static constexpr uint16_t kChangedBit = 0x4000;
  static constexpr uint16_t kReservedBit = 0x8000;

  virtual ~QSProperty() = default;
  QSProperty(const QSProperty&) = delete;
  QSProperty& operator=(const QSProperty&) = delete;

  // UI thread: a new property of the same class and value, changed flag raised.
  virtual std::unique_ptr<QSProperty> Clone() const = 0;
  // UI thread: copies the value when both have the same kind; otherwise nothing.
  virtual void AssignFrom(const QSProperty& other) = 0;
  // UI thread: parses one value; raises the changed flag even when parsing fails.
  virtual void ReadFrom(std::istream& in) = 0;
  // UI thread.
  virtual void WriteTo(std::ostream& out) const = 0;
  // A numeric value (bool, integer or double) as a double; none for the others.
  virtual std::optional<double> NumericValue() const { return std::nullopt; }
  // UI thread: sets a numeric value from a double (truncated for integers);
  // false for the others.
  virtual bool SetNumericValue(double) { return false; }

  uint16_t KindCode() const { return header_.load(std::memory_order_relaxed) & kKindMask; }
  uint16_t HeaderWord() const { return header_.load(std::memory_order_relaxed); }
  bool IsChanged() const { return (header_.load(std::memory_order_acquire) & kChangedBit) != 0; }
  // Audio thread: tests and clears the changed flag in one step.
  bool TakeChanged() {
    // Most blocks nothing changed: a plain load then, as a locked
    // read-modify-write waits for every store in flight.
    if ((header_.load(std::memory_order_relaxed) & kChangedBit) == 0) return false;
    return (header_.fetch_and(static_cast<uint16_t>(~kChangedBit), std::memory_order_acq_rel) &
            kChangedBit) != 0;
  }
  // Raised after the value is stored, so whoever takes the flag sees the value.
  void RaiseChanged() { header_.fetch_or(kChangedBit, std::memory_order_release); }
  void ClearChanged() {
    header_.fetch_and(static_cast<uint16_t>(~kChangedBit), std::memory_order_acq_rel);
  }

 protected:
  explicit QSProperty(uint16_t kind) : header_(static_cast<uint16_t>(kind | kChangedBit)) {}
  // For Clone: the reserved flag travels with the value.
  void CopyReservedFlagFrom(const QSProperty& other) {
    if ((other.HeaderWord() & kReservedBit) != 0) header_.fetch_or(kReservedBit);
  }

 private:
  std::atomic<uint16_t> header_;
};

}  // namespace tg
