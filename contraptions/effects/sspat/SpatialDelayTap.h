#pragma once

#include "dsp/QSDelayLine.h"
#include "dsp/QSVInterp.h"

namespace tg {

// A reading head on a delay line whose delay glides over each block, so a
// moving delay bends the pitch. Read after the block has been written: a
// delay of 0 gives that block back.
class SpatialDelayTap {
 public:
  explicit SpatialDelayTap(const QSDelayLine& line);

  // Audio thread: the block at delaySeconds. The delay is kept inside the
  // line, and each block moves it by at most half a block, so the pitch
  // stays between half and one and a half times the input's.
  void Read(double delaySeconds, float* out);
  // Only while audio is stopped: the next read jumps to its delay.
  void Restart();
  double Delay() const { return delay_.Value(); }
  static double MaxDelay(const QSDelayLine& line);

 private:
  const QSDelayLine& line_;
  QSVInterp delay_;
  bool started_ = false;
};

}  // namespace tg
