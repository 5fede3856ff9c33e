#pragma once

#include <atomic>

#include "files/loading/SoundData.h"

namespace tg {

// Sound data the audio thread has let go of, waiting for the loader's worker
// to free it: a stack linked through the data itself, so handing data over
// needs no memory of its own. Any number of threads may push; one takes.
class RetiredSounds {
 public:
  RetiredSounds() = default;
  ~RetiredSounds() { FreeAll(); }
  RetiredSounds(const RetiredSounds&) = delete;
  RetiredSounds& operator=(const RetiredSounds&) = delete;

  // Audio thread: never allocates, frees or waits. The exchange can only fail
  // when the taker emptied the stack meanwhile, so a lone pushing thread
  // succeeds at the latest on its second try.
  void Push(SoundData* data) {
    SoundData* head = head_.load();
    do {
      data->nextRetired_ = head;
    } while (!head_.compare_exchange_weak(head, data));
  }
  // The worker: frees everything pushed so far and answers how much that was.
  int FreeAll() {
    int freed = 0;
    for (SoundData* data = head_.exchange(nullptr); data != nullptr; ++freed) {
      SoundData* next = data->nextRetired_;
      delete data;
      data = next;
    }
    return freed;
  }

 private:
  std::atomic<SoundData*> head_{nullptr};
};

}  // namespace tg
