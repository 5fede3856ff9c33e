#pragma once

#include <cstdint>

namespace tg {

class EngineLock;
struct HostServices;

// What a contraption needs of the engine it lives in, without the engine:
// the services of the program around it and the lock its processor's graph
// is guarded by. The audio engine module is the one implementation.
class ContraptionEngine {
 public:
  // UI thread.
  virtual HostServices& Host() = 0;
  virtual EngineLock& GetEngineLock() = 0;
  // The clock tick being heard, when the clock runs there (for playheads).
  virtual bool HeardClockTick(uint32_t& /*tick*/) const { return false; }

 protected:
  ~ContraptionEngine() = default;
};

}  // namespace tg
