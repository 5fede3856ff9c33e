#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace tg {

class QSDynSigPipe;

// The update list as a dependency graph, so that several threads can share
// one pass and still give the very same output as running the list in order:
// of two pipes joined by a wire, the one earlier on the list always runs
// first. That covers a forward wire (the later pipe reads what the earlier
// wrote) and a feedback wire (the earlier pipe reads last block's signal
// before the later one overwrites it). Pipes that share state beyond their
// signals keep their list order among themselves.
//
// Each thread has a queue of its own, and a pipe goes to the same queue in
// every block, so its state and its delay lines stay in that core's cache;
// a thread with nothing ready in its queue takes from the others. Every
// shared word is tagged with the block's number, so a helper that wakes up
// late can never take part in a block that is not its own.
class GraphSchedule {
 public:
  GraphSchedule() = default;
  GraphSchedule(const GraphSchedule&) = delete;
  GraphSchedule& operator=(const GraphSchedule&) = delete;

  // UI thread, under the engine lock, with the pool's helpers out (Forget):
  // takes the structure of the update list. threads: how many will share the
  // passes (one queue each).
  void Build(const std::vector<QSDynSigPipe*>& updateList, int threads);

  int Size() const { return static_cast<int>(pipes_.size()); }
  // The longest chain of pipes that must run one after another.
  int CriticalPath() const { return criticalPath_; }
  // Whether there is enough independent work for a second thread to gain.
  bool WorthSharing() const;
  // The pipes that must run before pipe i of the list (for tests).
  std::vector<int> PredecessorsOf(int i) const;

  // Audio thread: makes the next block ready to run and answers its number,
  // which every thread taking part passes to RunShare. anotherFollows: the
  // caller will run the block after this one before the graph may change, so
  // idle threads may make that block of pipes that may run ahead.
  uint32_t BeginBlock(bool anotherFollows = false);
  // Any thread taking part in the block (self: 0 for the audio thread, 1, 2,
  // … for helpers): runs pipes until every one has run. Answers at once for
  // any block but the current one.
  void RunShare(uint32_t block, int self);
  // Audio thread, after its own share: until every pipe of the block has run
  // and no other thread looks at the schedule any more.
  void WaitForBlock();

  // For tests: called by a thread between taking a pipe (from a queue, or as
  // the next of its chain) and beginning it, where a thread the system puts
  // aside leaves a pipe claimed but not begun.
  using ClaimHook = void (*)(int self, int32_t pipe);
  static void SetClaimHook(ClaimHook hook) { claimHook_.store(hook); }

 private:
  static constexpr uint64_t Tag(uint32_t block, uint32_t index) {
    return static_cast<uint64_t>(block) << 32 | index;
  }
  static constexpr uint32_t Next(uint32_t block) { return block + 1 == 0 ? 1 : block + 1; }
  // Answers a pipe it made ready for the caller to run next, or -1.
  int32_t Finish(uint32_t block, int32_t index, int64_t round);
  // Whether the caller is the one to begin pipe i in this round: whoever
  // took it first may have been put aside before beginning it.
  bool Start(int32_t index, int64_t round);
  // Runs a pipe that is ready but that no thread has begun, though one may
  // have claimed it; answers whether there was one.
  bool TakeBack(uint32_t block, int64_t round, int self, int32_t& ran);
  // Whether every pipe of the round has run, counted or not.
  bool AllFinished(int64_t round) const;
  // Whether block is over by the count of the pipes run in it.
  bool CountedDone(uint32_t block, int32_t n) const;
  // Adds pipes run to the count of block, unless another block began meanwhile.
  void Publish(uint32_t block, int32_t ran);
  // Whether pipe i already ran ahead for this block; if not, it never will.
  bool RanAhead(uint32_t block, int32_t index);
  // Runs one pipe of the queue ahead for the block after this one, if one
  // may run now; answers whether it did.
  bool RunAhead(uint32_t block, int64_t round, int32_t queue);

  std::vector<QSDynSigPipe*> pipes_;
  std::vector<int32_t> firstDependent_;  // CSR: dependents of i are [first[i], first[i+1])
  std::vector<int32_t> dependents_;
  std::vector<int32_t> predecessorCount_;
  std::vector<int32_t> roots_;
  int criticalPath_ = 0;

  struct Queue {
    // Each on a cache line of its own: they change hands at every pipe.
    alignas(64) std::atomic<uint64_t> nextClaim{0};  // Tag(block, next slot to claim)
    alignas(64) std::atomic<int32_t> nextSlot{0};
    std::unique_ptr<std::atomic<uint64_t>[]> ready;  // Tag(block, pipe index)
  };
  // Each on a cache line of its own: two threads finishing two pipes do
  // not fight over one line.
  struct PipeState {
    alignas(64) std::atomic<int64_t> waitingFor{0};  // predecessors finished since the build
    std::atomic<int64_t> finished{0};                // the round it last ran in
    std::atomic<uint64_t> ahead{0};   // Tag(block, kRunningAhead / kRanAhead / kRunsInBlock)
    std::atomic<int64_t> started{0};  // the round it was last begun in
  };
  static constexpr uint32_t kRunningAhead = 1;
  static constexpr uint32_t kRanAhead = 2;
  static constexpr uint32_t kRunsInBlock = 3;
  // Both add the pipes they ran to `ran`.
  // round: the block's, read before it was known to be under way: a
  // thread put aside may come back when later blocks have begun.
  bool TryClaim(Queue& queue, uint32_t block, int64_t round, int32_t n, int self, int32_t& ran);
  int32_t Run(uint32_t block, int64_t round, int32_t index, int self);

  std::vector<int32_t> home_;          // the queue of each pipe
  std::vector<int32_t> rootsByHome_;   // roots, grouped by queue
  std::vector<int32_t> firstRootOf_;   // per queue, into rootsByHome_
  std::vector<char> mayRunAhead_;      // per pipe
  std::vector<int32_t> aheadByHome_;   // roots that may run ahead, grouped by queue
  std::vector<int32_t> firstAheadOf_;  // per queue, into aheadByHome_

  // Per block, shared between the threads of the pass.
  std::unique_ptr<PipeState[]> state_;
  std::unique_ptr<Queue[]> queues_;
  int32_t queueCount_ = 0;
  int32_t slotCapacity_ = 0;
  // Written once a block, read by all.
  alignas(64) std::atomic<uint32_t> block_{0};  // the block under way
  std::atomic<uint32_t> aheadFor_{0};           // the block pipes may run ahead for, or 0
  std::atomic<int32_t> size_{0};
  std::atomic<int64_t> round_{0};  // blocks since the build
  // Tag(block, pipes run and told): a thread put aside may tell its count
  // late, and must not add it to a later block's.
  alignas(64) std::atomic<uint64_t> done_{0};
  static inline std::atomic<ClaimHook> claimHook_{nullptr};
  uint32_t lastBlock_ = 0;  // audio thread only
};

}  // namespace tg
