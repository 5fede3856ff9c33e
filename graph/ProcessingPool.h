#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace tg {

class GraphSchedule;

// Helper threads that share the graph pass with the audio thread. Between
// passes a helper spins for a moment (passes come in bursts, one per block
// of a device buffer) and then sleeps until the next pass; it never locks or
// allocates while a pass runs.
class ProcessingPool {
 public:
  // threads: how many threads share a pass, the caller's included.
  // onStart runs first on each helper (to raise its priority) and answers
  // whether the helper got real-time scheduling.
  explicit ProcessingPool(int threads, const std::function<bool()>& onStart = {});
  // UI thread, after the pool is out of every context: stops the helpers.
  ~ProcessingPool();
  ProcessingPool(const ProcessingPool&) = delete;
  ProcessingPool& operator=(const ProcessingPool&) = delete;

  int Threads() const { return static_cast<int>(helpers_.size()) + 1; }
  // UI thread: once every helper has started, whether each got real-time
  // scheduling (without it, one the system puts aside can hold up a pass).
  bool AllRealTime() const;
  // Helpers waiting for a pass without spinning.
  int SleepingHelpers() const { return sleepers_.load(); }
  // Audio thread: runs one block of the schedule, the helpers joining in,
  // and returns when every pipe of it has run (see GraphSchedule::BeginBlock
  // for anotherFollows).
  void Run(GraphSchedule& schedule, bool anotherFollows = false);
  // UI thread, while no pass runs: from now on no helper touches the schedule.
  void Forget(const GraphSchedule& schedule);

 private:
  void Help(int self);

  // The number of the block under way (or any change, to stop); helpers
  // watch it, so it has a cache line of its own.
  alignas(64) std::atomic<uint32_t> wake_{0};
  // Read by helpers on waking, rarely written.
  alignas(64) std::atomic<GraphSchedule*> job_{nullptr};
  std::atomic<uint32_t> floatControl_{0};
  std::atomic<bool> stopping_{false};
  // What helpers write.
  alignas(64) std::atomic<int> sleepers_{0};
  std::atomic<int> helping_{0};
  std::atomic<int> started_{0};
  std::atomic<int> realTime_{0};
  std::vector<std::thread> helpers_;
};

}  // namespace tg
