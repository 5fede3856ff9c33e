#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>

#include "files/loading/RetiredSounds.h"
#include "files/loading/SoundMailbox.h"

namespace tg {

// Loads sound files for the contraptions that play them, on one worker
// thread of its own, so that neither the audio thread nor the user waits for
// the disk. Each consumer owns a SoundSlot: the slot asks for a load of a
// resolved name, the worker reads and converts the file into fresh SoundData
// and publishes it to the slot, which takes it at a block boundary without
// waiting. Data the audio thread lets go of comes back here to be freed.
// The worker starts with the first load.
class SoundLoader {
 public:
  // Tests: called on the worker with each file name just before it
  // is read, to stand in for a slow disk.
  using ReadHook = std::function<void(const std::string& path)>;

  SoundLoader() = default;
  // Not the audio thread; every slot that uses the loader has stopped playing.
  // Discards the loads still queued and waits for the one being read.
  ~SoundLoader();
  SoundLoader(const SoundLoader&) = delete;
  SoundLoader& operator=(const SoundLoader&) = delete;

  // The program's loader, which every contraption type uses.
  static SoundLoader& Instance();

  // Never the audio thread: returns once every load asked for so far is
  // finished and published (or dropped, its slot being gone or the name
  // replaced) and all data let go of is freed. Offline renders call it
  // before each block so that they come out complete and the same each time.
  void WaitUntilIdle();
  // Any thread: whether WaitUntilIdle would return at once.
  bool IsIdle() const { return outstanding_.load(std::memory_order_acquire) == 0; }

  // Any thread but the audio thread; tests only.
  void SetReadHook(ReadHook hook);

 private:
  friend class SoundSlot;
  struct Job {
    std::shared_ptr<SoundMailbox> mailbox;
    std::string name;
    uint32_t generation = 0;
  };

  // UI thread: queues a load of name for the mailbox.
  void Request(std::shared_ptr<SoundMailbox> mailbox, std::string name, uint32_t generation);
  // Audio thread: wait-free; the worker frees the data soon after.
  void Retire(SoundData* data);

  void Wake();
  void Run();
  static void Serve(const Job& job, const ReadHook& readHook);
  void Done(int64_t count);

  mutable std::mutex mutex_;  // the queue, the hook and the idle condition; never the audio thread
  std::condition_variable idle_;
  std::deque<Job> jobs_;
  ReadHook readHook_;
  bool stopping_ = false;
  // Loads queued or running, plus data retired and not yet freed.
  std::atomic<int64_t> outstanding_{0};
  RetiredSounds retired_;
  // One wake-up pending at most, however often the audio thread retires.
  std::atomic<bool> wakePending_{false};
  std::counting_semaphore<> wake_{0};
  std::thread worker_;
};

}  // namespace tg
