#pragma once

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

 protected:
  ~ContraptionEngine() = default;
};

}  // namespace tg
