#include "engine/midi/MidiWake.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace tg {

MidiWake::MidiWake() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

MidiWake::~MidiWake() {
  if (fd_ >= 0) ::close(fd_);
}

void MidiWake::Signal() noexcept {
  if (fd_ < 0) return;
  const uint64_t one = 1;
  // Non-blocking: a full counter already wakes the reader.
  [[maybe_unused]] const ssize_t written = ::write(fd_, &one, sizeof one);
}

void MidiWake::Clear() noexcept {
  if (fd_ < 0) return;
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t taken = ::read(fd_, &count, sizeof count);
}

}  // namespace tg
