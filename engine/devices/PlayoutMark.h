#pragma once

#include <atomic>
#include <cstdint>

namespace tg {

// Where the program's output stands inside the sound server's cycle: the
// device tells, each time it hands frames to the server, how many of the
// stream's frames it had played before, how many it hands over now, and in
// which of the server's cycles (its first frame, read through the server
// clock a client of the same server lends). A MIDI client of that server
// reads it in its own cycle to know which of the stream's frames leave the
// output together with its messages. One output plays at a time, so the
// program has one mark. Written by the device thread, read by any thread;
// neither ever waits.
class PlayoutMark {
 public:
  struct Reading {
    uint32_t run = 0;  // a new one each time an output opens
    int64_t framesBefore = 0;
    int64_t frames = 0;
    int64_t steadyNanoseconds = 0;
    int64_t serverCycle = -1;   // the cycle's first frame (32 bits), -1 unknown
    int64_t latencyFrames = 0;  // from handing frames over to hearing them
  };
  using ServerClock = uint32_t (*)(void* context);

  static PlayoutMark& Program() {
    static PlayoutMark mark;
    return mark;
  }

  // An output opens: nothing of it has played yet.
  void Begin() {
    Write([&] {
      run_.fetch_add(1, std::memory_order_relaxed);
      framesBefore_.store(-1, std::memory_order_relaxed);
      latencyFrames_.store(0, std::memory_order_relaxed);
    });
  }
  // Once the open output knows it: frames handed over are heard this much later.
  void SetLatencyFrames(int64_t frames) { latencyFrames_.store(frames, std::memory_order_relaxed); }
  // The device thread, in the server's cycle.
  void Played(int64_t framesBefore, int64_t frames, int64_t steadyNanoseconds) {
    int64_t cycle = -1;
    inServerClock_.fetch_add(1, std::memory_order_acquire);
    if (void* context = serverContext_.load(std::memory_order_acquire); context != nullptr)
      cycle = serverClock_.load(std::memory_order_relaxed)(context);
    inServerClock_.fetch_sub(1, std::memory_order_release);
    Write([&] {
      serverCycle_.store(cycle, std::memory_order_relaxed);
      framesBefore_.store(framesBefore, std::memory_order_relaxed);
      frames_.store(frames, std::memory_order_relaxed);
      steady_.store(steadyNanoseconds, std::memory_order_relaxed);
    });
  }
  // False before the open output played anything, or when writes kept
  // crossing the reading.
  bool Read(Reading& r) const {
    for (int attempt = 0; attempt < 4; ++attempt) {
      if (ReadOnce(r)) return r.framesBefore >= 0;
    }
    return false;
  }

 private:
  bool ReadOnce(Reading& r) const {
    const uint32_t before = sequence_.load(std::memory_order_acquire);
    if ((before & 1U) != 0) return false;
    r.run = run_.load(std::memory_order_relaxed);
    r.framesBefore = framesBefore_.load(std::memory_order_relaxed);
    r.frames = frames_.load(std::memory_order_relaxed);
    r.steadyNanoseconds = steady_.load(std::memory_order_relaxed);
    r.serverCycle = serverCycle_.load(std::memory_order_relaxed);
    r.latencyFrames = latencyFrames_.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    return sequence_.load(std::memory_order_relaxed) == before;
  }

 public:
  // A client of the server lends its clock (the first frame of the cycle
  // under way), and takes it back before it goes: the taking waits for a
  // reading under way, which lasts nanoseconds.
  void LendServerClock(ServerClock clock, void* context) {
    serverClock_.store(clock, std::memory_order_relaxed);
    serverContext_.store(context, std::memory_order_release);
  }
  void TakeBackServerClock(void* context) {
    void* expected = context;
    serverContext_.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
    while (inServerClock_.load(std::memory_order_acquire) != 0) {
    }
  }

 private:
  template <typename Change>
  void Write(Change change) {
    const uint32_t s = sequence_.load(std::memory_order_relaxed);
    sequence_.store(s + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    change();
    sequence_.store(s + 2, std::memory_order_release);
  }

  std::atomic<uint32_t> sequence_{0};
  std::atomic<uint32_t> run_{0};
  std::atomic<int64_t> framesBefore_{-1};
  std::atomic<int64_t> frames_{0};
  std::atomic<int64_t> steady_{0};
  std::atomic<int64_t> serverCycle_{-1};
  std::atomic<int64_t> latencyFrames_{0};
  std::atomic<ServerClock> serverClock_{nullptr};
  std::atomic<void*> serverContext_{nullptr};
  std::atomic<int> inServerClock_{0};
};

}  // namespace tg
