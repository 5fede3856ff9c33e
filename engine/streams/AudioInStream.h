#pragma once

#include <cstdint>

namespace tg {

// What the engine needs of the input stream: the most recently captured
// 16-bit stereo buffer, read a block at a time. The audio thread's side
// never locks or waits; a stop waits for a block being read instead.
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
  // Audio thread: the current buffer for the read of one block, null when
  // there is no input; it stays valid until EndRead.
  virtual const int16_t* BeginRead() = 0;
  virtual void EndRead() = 0;
};

}  // namespace tg
