#pragma once

#include <cstdint>
#include <functional>

#include "base/EngineLock.h"

namespace tg {

// What the engine needs of the output stream: it plays a queue of 16-bit
// stereo buffers and asks its fill handler for each one on its service
// thread, holding the engine lock.
class AudioOutStream {
 public:
  using FillHandler = std::function<void(int16_t* buffer, int frameCount)>;

  virtual ~AudioOutStream() = default;
  // UI thread.
  virtual void Start() = 0;
  // UI thread; a caller holding the engine lock has it released.
  virtual void Stop() = 0;
  virtual bool IsActive() const = 0;
  virtual int BufferSize() const = 0;  // bytes, 4 a frame
  virtual int BufferCount() const = 0;
  // Audio thread, while playing: frames between a fill and its first
  // frame's sound at the output (the buffers queued before it, and the
  // device's own).
  virtual int64_t PlayoutFrames() const {
    return static_cast<int64_t>(BufferCount() - 1) * (BufferSize() / 4);
  }
  // Any thread: whether an overload happened since the last call.
  virtual bool TakeOverload() = 0;
  // UI thread: mean fill time over the time one buffer lasts; 0 while stopped.
  virtual double CpuLoad() const = 0;
  // UI thread, stream stopped.
  virtual void SetOnFillBuffer(FillHandler handler) = 0;
  virtual EngineLock& GetEngineLock() = 0;

  void Lock() { GetEngineLock().Lock(); }
  void Unlock() { GetEngineLock().Unlock(); }
};

}  // namespace tg
