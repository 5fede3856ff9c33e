#pragma once

#include <cstddef>
#include <vector>

namespace tg {

// A table of floats with one guard entry past the end, so that reading
// between the last entry and the guard wraps smoothly for periodic tables.
class QSFunctionTable {
 public:
  // UI thread: size + 1 entries, all zero.
  explicit QSFunctionTable(int size);
  QSFunctionTable(const QSFunctionTable&) = delete;
  QSFunctionTable& operator=(const QSFunctionTable&) = delete;

  // Adds a sine of a harmonic (phase in degrees) plus an offset to every entry.
  void AddSine(float harmonic, float amplitude, float phaseDegrees, float offset);
  // Scales the entries so that the largest magnitude is peak (all zero stays zero).
  void Normalize(float peak);
  // The pan law √2·cos(a)·sin(a + π/4) for a from 0 to π/2, guard included.
  void FillPanLaw();

  int Size() const { return size_; }
  float* Data() { return data_.data(); }
  const float* Data() const { return data_.data(); }
  float operator[](int i) const { return data_[static_cast<std::size_t>(i)]; }

 private:
  void CopyGuard() { data_[static_cast<std::size_t>(size_)] = data_[0]; }

  int size_;
  std::vector<float> data_;
};

}  // namespace tg
