#pragma once

namespace tg {

// The pan law the granulators share, a 1024-interval table built once.
class GrainPan {
 public:
  // UI thread: builds the table if no one has yet; every owner calls it when
  // made, so the audio thread never builds it.
  static void Prepare();
  // Any thread once prepared: the gain of the left side at position p (0 left
  // … 1 right); the right side's is Gain(1 − p). Outside 0 … 1 (and for what
  // is not a number) the end values.
  static float Gain(double p);
};

}  // namespace tg
