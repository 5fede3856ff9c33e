#include "dsp/QSFunctionTable.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace tg {

namespace {
constexpr double kProgramPi = 3.1415926;  // the program's own value of pi
}

QSFunctionTable::QSFunctionTable(int size)
    : size_(std::max(size, 1)), data_(static_cast<std::size_t>(size_) + 1, 0.0f) {}

void QSFunctionTable::AddSine(float harmonic, float amplitude, float phaseDegrees, float offset) {
  for (int i = 0; i < size_; ++i) {
    const double angle =
        2.0 * kProgramPi * harmonic * i / size_ + phaseDegrees * kProgramPi / 180.0;
    data_[static_cast<std::size_t>(i)] += static_cast<float>(std::sin(angle) * amplitude + offset);
  }
  CopyGuard();
}

void QSFunctionTable::Normalize(float peak) {
  float m = 0.0f;
  for (int i = 0; i < size_; ++i) m = std::max(m, std::abs(data_[static_cast<std::size_t>(i)]));
  const float factor = m == 0.0f ? 0.0f : peak / m;
  for (int i = 0; i < size_; ++i) data_[static_cast<std::size_t>(i)] *= factor;
  CopyGuard();
}

void QSFunctionTable::FillPanLaw() {
  for (int i = 0; i <= size_; ++i) {
    const double a = static_cast<double>(i) / size_ * 1.5707963;
    data_[static_cast<std::size_t>(i)] =
        static_cast<float>(1.41421356 * std::cos(a) * std::sin(a + 0.785398163));
  }
}

}  // namespace tg
