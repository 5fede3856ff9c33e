#pragma once

namespace tg {

// Wakes the user-interface thread from any thread without blocking or
// allocating: an event counter (eventfd) the windowed program watches with
// its event loop and the headless one with poll.
class MidiWake {
 public:
  MidiWake();
  ~MidiWake();
  MidiWake(const MidiWake&) = delete;
  MidiWake& operator=(const MidiWake&) = delete;

  // Any thread.
  void Signal() noexcept;
  // UI thread: takes the signals given so far.
  void Clear() noexcept;
  // Readable while a signal waits; -1 when none could be made.
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace tg
