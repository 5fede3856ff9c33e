#pragma once

#include "dsp/BlockConstants.h"
#include "dsp/QSFunctionTable.h"
#include "dsp/QSOscillator.h"

namespace tg {

// A sweep oscillator stepped once a block: one cycle of a sine between 0 and
// 1 that starts at 0.5 and rises. Sweeps faster than half the block rate
// (about 86 Hz) fold back to slower ones.
class BlockRateLfo {
 public:
  static constexpr int kTableSize = 1024;

  BlockRateLfo() : oscillator_(Table()) {}
  BlockRateLfo(const BlockRateLfo&) = delete;
  BlockRateLfo& operator=(const BlockRateLfo&) = delete;

  // Audio thread: cycles per second.
  void SetRate(double hz) {
    oscillator_.SetIncrement(kTableSize / ((kSampleRate / kBlockSize) / hz));
  }
  // Audio thread: this block's value in 0 … 1; the phase moves on by a block.
  float Next() { return oscillator_.Tick(); }
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
