#pragma once

#include <atomic>
#include <cstdint>

#include "files/loading/SoundData.h"

namespace tg {

// What a SoundSlot and the loader's jobs for it share. The slot may go while
// a job for it is queued or running: the job then finds the mailbox closed
// and drops its result, and whoever lets go of the mailbox last frees data
// that was published but never taken.
struct SoundMailbox {
  explicit SoundMailbox(SoundConversion c) : conversion(c) {}
  ~SoundMailbox() { delete incoming.exchange(nullptr); }
  SoundMailbox(const SoundMailbox&) = delete;
  SoundMailbox& operator=(const SoundMailbox&) = delete;

  // Whether a job for `generation` has lost its point: its slot is gone or a
  // newer load was asked for.
  bool Outdated(uint32_t generation) const {
    return closed.load(std::memory_order_acquire) ||
           requested.load(std::memory_order_acquire) != generation;
  }

  const SoundConversion conversion;
  std::atomic<SoundData*> incoming{nullptr};  // worker → audio thread
  std::atomic<bool> closed{false};            // the slot is gone
  std::atomic<uint32_t> requested{0};         // the newest load asked for
  std::atomic<uint32_t> finished{0};          // the newest load the worker finished
  std::atomic<bool> lastFailed{false};        // whether that one could not read its file
  std::atomic<bool> lastCut{false};           // whether that one kept only the file's start
};

}  // namespace tg
