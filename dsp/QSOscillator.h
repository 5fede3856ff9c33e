#pragma once

#include <cmath>

#include "dsp/BlockConstants.h"
#include "dsp/Interpolation.h"
#include "dsp/QSFunctionTable.h"

namespace tg {

// Reads a table at a moving fractional phase (in table entries).
class QSOscillator {
 public:
  explicit QSOscillator(const QSFunctionTable& table) : table_(&table) {}

  // Reads another table from the next tick on, the phase kept (within the new size).
  void SetTable(const QSFunctionTable& table) {
    table_ = &table;
    if (phase_ > table.Size()) phase_ = Rewrap(phase_, table.Size());
  }
  void SetFrequency(double hz) { increment_ = table_->Size() / (kSampleRate / hz); }
  void SetIncrement(double increment) { increment_ = increment; }
  void SetPhase(double phase) { phase_ = phase; }
  double Phase() const { return phase_; }
  double Increment() const { return increment_; }

  // Audio thread: the value at the phase, then the phase moves on. A phase of
  // exactly the table size stays and reads the guard entry.
  float Tick() {
    const float v = QSInterpLookup(table_->Data(), static_cast<float>(phase_));
    phase_ = Advance(phase_, increment_, table_->Size());
    return v;
  }
  // Audio thread: one block of ticks, the phase in a register meanwhile.
  void Fill(float* out) {
    const float* table = table_->Data();
    const double size = table_->Size();
    const double increment = increment_;
    double phase = phase_;
    for (int i = 0; i < kBlockSize; ++i) {
      out[i] = QSInterpLookup(table, static_cast<float>(phase));
      phase = Advance(phase, increment, size);
    }
    phase_ = phase;
  }

 private:
  static double Advance(double phase, double increment, double size) {
    phase += increment;
    if (phase > size) phase -= size;
    // Only a broken increment (huge, negative, not a number) gets here; a
    // loop would never end, and a negative phase would read before the table.
    if (!(phase >= 0.0 && phase <= size)) phase = Rewrap(phase, size);
    return phase;
  }
  static double Rewrap(double phase, double size) {
    const double r = std::isfinite(phase) ? std::fmod(phase, size) : 0.0;
    return r < 0.0 ? r + size : r;
  }

  const QSFunctionTable* table_;
  double phase_ = 0.0;
  double increment_ = 1.0;
};

}  // namespace tg
