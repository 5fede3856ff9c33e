#pragma once

#include <cstdint>

namespace tg {

// What the engine needs of the input stream: the most recently captured
// 16-bit stereo buffer, held while one block is read from it.
class AudioInStream {
 public:
  virtual ~AudioInStream() = default;
  // UI thread.
  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual bool IsActive() const = 0;
  virtual int BufferSize() const = 0;  // bytes, 4 a frame
  // Audio thread: makes the next completed buffer current; answers its frames.
  virtual int TakeNextBuffer() = 0;
  // Audio thread: holds the current buffer for the read of one block.
  virtual void LockBuffer() = 0;
  virtual void UnlockBuffer() = 0;
  // Audio thread, between LockBuffer and UnlockBuffer: null when no input.
  virtual const int16_t* CurrentData() const = 0;
  // UI thread, after the output stream's lock.
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

}  // namespace tg
