#pragma once

#include "dsp/BlockConstants.h"
#include "dsp/QSFunctionTable.h"
#include "dsp/QSOscillator.h"

namespace tg {

// A sweep oscillator read every sample: one cycle of a sine between 0 and 1
// that starts at 0.5 and rises. Stepped once a block, a sweep faster than
// half the block rate (86 Hz) would fold back to a slower one; read every
// sample, 100 Hz sweeps at 100 Hz.
class SweepLfo {
 public:
  static constexpr int kTableSize = 1024;

  SweepLfo() : oscillator_(Table()) {}
  SweepLfo(const SweepLfo&) = delete;
  SweepLfo& operator=(const SweepLfo&) = delete;

  // Audio thread: cycles per second.
  void SetRate(double hz) { oscillator_.SetFrequency(hz); }
  // Audio thread: this block's values in 0 … 1, one a sample.
  void Fill(float* values) { oscillator_.Fill(values); }
  // UI thread, audio stopped: back to the start of the cycle.
  void Restart() { oscillator_.SetPhase(0.0); }
  double Phase() const { return oscillator_.Phase(); }

  // The shared waveform, built once and then only read.
  static const QSFunctionTable& Table() {
    struct Wave {
      QSFunctionTable table{kTableSize};
      Wave() { table.AddSine(1.0f, 0.5f, 0.0f, 0.5f); }
    };
    static const Wave wave;
    return wave.table;
  }

 private:
  QSOscillator oscillator_;
};

}  // namespace tg
