#include "graph/GraphSchedule.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "graph/CpuPause.h"
#include "graph/QSDynSigPipe.h"

namespace tg {

namespace {

// Below this, or with a chain taking most of the list, a second thread costs
// more in hand-overs than it saves.
constexpr int kMinSharedPipes = 6;
// An idle thread looks at its queue every 16 pauses (about a microsecond),
// and at the others' after eight looks in vain: a helper the system put
// aside is stood in for within microseconds.
constexpr int kPausesPerLook = 16;
constexpr int kLooksBeforeTaking = 8;
// And at pipes claimed but not begun after twice that: a helper put aside
// between claiming a pipe and beginning it holds up nobody.
constexpr int kLooksBeforeTakingBack = 16;

}  // namespace

void GraphSchedule::Build(const std::vector<QSDynSigPipe*>& updateList, int threads) {
  pipes_ = updateList;
  const auto n = static_cast<int32_t>(pipes_.size());
  for (int32_t i = 0; i < n; ++i) pipes_[static_cast<size_t>(i)]->listIndex_ = i;
  auto indexOf = [&](const QSDynSigPipe* pipe) {
    const int32_t i = pipe->listIndex_;
    return i >= 0 && i < n && pipes_[static_cast<size_t>(i)] == pipe ? i : -1;
  };

  std::vector<std::pair<int32_t, int32_t>> edges;  // earlier, later
  int32_t lastShared = -1;
  for (int32_t j = 0; j < n; ++j) {
    const QSDynSigPipe* pipe = pipes_[static_cast<size_t>(j)];
    for (int k = 0; k < pipe->InletCount(); ++k) {
      const QSDynSigPipe::Inlet& in = pipe->InletAt(k);
      if (in.source == nullptr || in.signal == &QSSignal::Silent()) continue;
      const int32_t i = indexOf(in.source);
      if (i < 0 || i == j) continue;
      edges.emplace_back(std::min(i, j), std::max(i, j));
    }
    if (pipe->SharesEngineState()) {
      if (lastShared >= 0) edges.emplace_back(lastShared, j);
      lastShared = j;
    }
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

  firstDependent_.assign(static_cast<size_t>(n) + 1, 0);
  predecessorCount_.assign(static_cast<size_t>(n), 0);
  for (const auto& [from, to] : edges) {
    ++firstDependent_[static_cast<size_t>(from) + 1];
    ++predecessorCount_[static_cast<size_t>(to)];
  }
  for (int32_t i = 0; i < n; ++i) {
    firstDependent_[static_cast<size_t>(i) + 1] += firstDependent_[static_cast<size_t>(i)];
  }
  dependents_.resize(edges.size());
  for (size_t e = 0; e < edges.size(); ++e) dependents_[e] = edges[e].second;  // sorted by from

  const int32_t queues = std::max(threads, 1);
  roots_.clear();
  home_.assign(static_cast<size_t>(n), 0);
  std::vector<int32_t> chain(static_cast<size_t>(n), 1);
  criticalPath_ = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (predecessorCount_[static_cast<size_t>(i)] == 0) roots_.push_back(i);
    for (int32_t e = firstDependent_[static_cast<size_t>(i)];
         e < firstDependent_[static_cast<size_t>(i) + 1]; ++e) {
      const auto d = static_cast<size_t>(dependents_[static_cast<size_t>(e)]);
      chain[d] = std::max(chain[d], chain[static_cast<size_t>(i)] + 1);
    }
    criticalPath_ = std::max(criticalPath_, chain[static_cast<size_t>(i)]);
  }
  // Roots are shared out in runs of the list: the list is made depth first
  // from the outputs, so pipes that meet in one mixer sit side by side and
  // their signals need not cross between cores. Every other pipe goes with
  // its latest predecessor, so a chain stays on one thread.
  for (size_t k = 0; k < roots_.size(); ++k) {
    home_[static_cast<size_t>(roots_[k])] =
        static_cast<int32_t>(k * static_cast<size_t>(queues) / roots_.size());
  }
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t e = firstDependent_[static_cast<size_t>(i)];
         e < firstDependent_[static_cast<size_t>(i) + 1]; ++e) {
      home_[static_cast<size_t>(dependents_[static_cast<size_t>(e)])] =
          home_[static_cast<size_t>(i)];  // predecessors come in list order
    }
  }
  rootsByHome_.clear();
  firstRootOf_.assign(static_cast<size_t>(queues) + 1, 0);
  for (int32_t q = 0; q < queues; ++q) {
    firstRootOf_[static_cast<size_t>(q)] = static_cast<int32_t>(rootsByHome_.size());
    for (const int32_t r : roots_) {
      if (home_[static_cast<size_t>(r)] == q) rootsByHome_.push_back(r);
    }
  }
  firstRootOf_[static_cast<size_t>(queues)] = static_cast<int32_t>(rootsByHome_.size());

  // Only roots: a pipe read a block late (whose outlet the engine limits
  // after the pass) has its reader before it, so it is never one.
  mayRunAhead_.assign(static_cast<size_t>(n), 0);
  for (const int32_t r : roots_) {
    mayRunAhead_[static_cast<size_t>(r)] = pipes_[static_cast<size_t>(r)]->MayRunAhead() ? 1 : 0;
  }
  aheadByHome_.clear();
  firstAheadOf_.assign(static_cast<size_t>(queues) + 1, 0);
  for (int32_t q = 0; q < queues; ++q) {
    firstAheadOf_[static_cast<size_t>(q)] = static_cast<int32_t>(aheadByHome_.size());
    for (int32_t k = firstRootOf_[static_cast<size_t>(q)];
         k < firstRootOf_[static_cast<size_t>(q) + 1]; ++k) {
      const int32_t r = rootsByHome_[static_cast<size_t>(k)];
      if (mayRunAhead_[static_cast<size_t>(r)] != 0) aheadByHome_.push_back(r);
    }
  }
  firstAheadOf_[static_cast<size_t>(queues)] = static_cast<int32_t>(aheadByHome_.size());

  // The counters only ever grow within one build: resetting them at every
  // block would pull each one's cache line back from the core that used it.
  round_.store(0, std::memory_order_relaxed);
  aheadFor_.store(0, std::memory_order_relaxed);
  for (int32_t i = 0; i < std::min(n, slotCapacity_); ++i) {
    PipeState& state = state_[static_cast<size_t>(i)];
    state.waitingFor.store(0, std::memory_order_relaxed);
    state.finished.store(0, std::memory_order_relaxed);
    state.ahead.store(0, std::memory_order_relaxed);
    state.started.store(0, std::memory_order_relaxed);
  }
  if (n > slotCapacity_ || queues != queueCount_) {
    const int32_t capacity = std::max(n, slotCapacity_);
    state_ = std::make_unique<PipeState[]>(static_cast<size_t>(capacity));
    queues_ = std::make_unique<Queue[]>(static_cast<size_t>(queues));
    for (int32_t q = 0; q < queues; ++q) {
      Queue& queue = queues_[static_cast<size_t>(q)];
      queue.ready = std::make_unique<std::atomic<uint64_t>[]>(static_cast<size_t>(capacity));
      for (int32_t i = 0; i < capacity; ++i) queue.ready[static_cast<size_t>(i)].store(Tag(0, 0));
      queue.nextClaim.store(Tag(0, 0));
    }
    slotCapacity_ = capacity;
    queueCount_ = queues;
  }
}

bool GraphSchedule::WorthSharing() const {
  return Size() >= kMinSharedPipes && 2 * criticalPath_ <= Size();
}

std::vector<int> GraphSchedule::PredecessorsOf(int i) const {
  std::vector<int> before;
  for (int32_t p = 0; p < Size(); ++p) {
    for (int32_t e = firstDependent_[static_cast<size_t>(p)];
         e < firstDependent_[static_cast<size_t>(p) + 1]; ++e) {
      if (dependents_[static_cast<size_t>(e)] == i) before.push_back(p);
    }
  }
  return before;
}

uint32_t GraphSchedule::BeginBlock(bool anotherFollows) {
  // Slots are tagged with this schedule's own count of blocks, so a tag can
  // only match when it was written in the block under way.
  const uint32_t block = Next(lastBlock_);  // 0 is the tag of slots never used
  lastBlock_ = block;
  const int32_t n = Size();
  // Ours alone to write; released so that a thread that sees the new round
  // also sees the last block ended (TakeBack).
  round_.store(round_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  done_.store(Tag(block, 0), std::memory_order_relaxed);
  size_.store(n, std::memory_order_relaxed);
  for (int32_t q = 0; q < queueCount_; ++q) {
    Queue& queue = queues_[static_cast<size_t>(q)];
    const int32_t first = firstRootOf_[static_cast<size_t>(q)];
    const int32_t count = firstRootOf_[static_cast<size_t>(q) + 1] - first;
    for (int32_t k = 0; k < count; ++k) {
      const auto root = static_cast<uint32_t>(rootsByHome_[static_cast<size_t>(first + k)]);
      queue.ready[static_cast<size_t>(k)].store(Tag(block, root), std::memory_order_relaxed);
    }
    queue.nextSlot.store(count, std::memory_order_relaxed);
    queue.nextClaim.store(Tag(block, 0), std::memory_order_relaxed);
  }
  aheadFor_.store(anotherFollows ? Next(block) : 0, std::memory_order_relaxed);
  block_.store(block, std::memory_order_release);
  return block;
}

bool GraphSchedule::TryClaim(Queue& queue, uint32_t block, int64_t round, int32_t n, int self,
                             int32_t& ran) {
  for (;;) {
    uint64_t claim = queue.nextClaim.load(std::memory_order_acquire);
    const auto slot = static_cast<uint32_t>(claim);
    if (claim >> 32 != block || slot >= static_cast<uint32_t>(n)) return false;
    // Only a pipe that is ready is claimed: a thread the system puts aside
    // holds up nobody. The next slot may never fill, as pipes run straight
    // after their predecessor take none.
    const uint64_t ready = queue.ready[slot].load(std::memory_order_acquire);
    if (ready >> 32 != block) return false;
    if (queue.nextClaim.compare_exchange_weak(claim, claim + 1, std::memory_order_acq_rel,
                                              std::memory_order_relaxed)) {
      ran += Run(block, round, static_cast<int32_t>(static_cast<uint32_t>(ready)), self);
      return true;
    }
  }
}

bool GraphSchedule::Start(int32_t index, int64_t round) {
  std::atomic<int64_t>& started = state_[static_cast<size_t>(index)].started;
  int64_t seen = started.load(std::memory_order_acquire);
  return seen < round && started.compare_exchange_strong(seen, round, std::memory_order_acq_rel,
                                                         std::memory_order_relaxed);
}

int32_t GraphSchedule::Run(uint32_t block, int64_t round, int32_t index, int self) {
  int32_t ran = 0;
  do {
    if (const ClaimHook hook = claimHook_.load(std::memory_order_relaxed)) hook(self, index);
    // Taken back meanwhile: whoever began it goes on with its chain.
    if (!Start(index, round)) break;
    if (mayRunAhead_[static_cast<size_t>(index)] == 0 || !RanAhead(block, index)) {
      pipes_[static_cast<size_t>(index)]->Process();
    }
    state_[static_cast<size_t>(index)].finished.store(round, std::memory_order_release);
    index = Finish(block, index, round);
    ++ran;
  } while (index >= 0);
  return ran;
}

bool GraphSchedule::RanAhead(uint32_t block, int32_t index) {
  std::atomic<uint64_t>& ahead = state_[static_cast<size_t>(index)].ahead;
  uint64_t seen = ahead.load(std::memory_order_acquire);
  for (int spins = 0;; ++spins) {
    if (seen >> 32 == block) {
      if (static_cast<uint32_t>(seen) == kRanAhead) return true;
      // Another thread is making it right now.
      if (spins < 4096) {
        CpuPause();
      } else {
        std::this_thread::yield();
      }
      seen = ahead.load(std::memory_order_acquire);
    } else if (ahead.compare_exchange_weak(seen, Tag(block, kRunsInBlock),
                                           std::memory_order_acq_rel, std::memory_order_acquire)) {
      return false;
    }
  }
}

bool GraphSchedule::RunAhead(uint32_t block, int64_t round, int32_t queue) {
  const uint32_t next = Next(block);
  if (aheadFor_.load(std::memory_order_acquire) != next) return false;
  auto hasRun = [&](int32_t i) {
    return state_[static_cast<size_t>(i)].finished.load(std::memory_order_acquire) >= round;
  };
  for (int32_t k = firstAheadOf_[static_cast<size_t>(queue)];
       k < firstAheadOf_[static_cast<size_t>(queue) + 1]; ++k) {
    const int32_t r = aheadByHome_[static_cast<size_t>(k)];
    std::atomic<uint64_t>& ahead = state_[static_cast<size_t>(r)].ahead;
    uint64_t seen = ahead.load(std::memory_order_acquire);
    // Only a pipe last run in this block or before: a thread the system put
    // aside here may come back when later blocks have run.
    const auto last = static_cast<uint32_t>(seen >> 32);
    if (static_cast<int32_t>(next - last) <= 0 || !hasRun(r)) continue;
    // Its outlets are overwritten: everyone reading them must be done.
    bool readersDone = true;
    for (int32_t e = firstDependent_[static_cast<size_t>(r)];
         e < firstDependent_[static_cast<size_t>(r) + 1] && readersDone; ++e) {
      readersDone = hasRun(dependents_[static_cast<size_t>(e)]);
    }
    if (!readersDone ||
        !ahead.compare_exchange_strong(seen, Tag(next, kRunningAhead), std::memory_order_acq_rel)) {
      continue;
    }
    pipes_[static_cast<size_t>(r)]->Process();
    ahead.store(Tag(next, kRanAhead), std::memory_order_release);
    return true;
  }
  return false;
}

void GraphSchedule::RunShare(uint32_t block, int self) {
  // The round first: one newer than the block's means the block is over.
  const int64_t round = round_.load(std::memory_order_acquire);
  if (block_.load(std::memory_order_acquire) != block) return;
  const int32_t n = size_.load(std::memory_order_relaxed);
  const int32_t queues = queueCount_;
  const int32_t own = self % queues;
  int32_t ran = 0;  // told to the others only when out of work: one shared write, not one a pipe
  for (int idle = 0;; ++idle) {
    bool claimed = TryClaim(queues_[static_cast<size_t>(own)], block, round, n, self, ran);
    // Taking another queue's pipe moves its state to this core; worth it
    // only when its owner is not coming to it, not to gain a moment.
    for (int32_t k = 1; !claimed && idle >= kLooksBeforeTaking && k < queues; ++k) {
      claimed =
          TryClaim(queues_[static_cast<size_t>((own + k) % queues)], block, round, n, self, ran);
    }
    if (!claimed && idle >= kLooksBeforeTakingBack) claimed = TakeBack(block, round, self, ran);
    if (claimed) {
      idle = -1;
      continue;
    }
    if (ran > 0) {
      Publish(block, ran);
      ran = 0;
    }
    bool over = block_.load(std::memory_order_acquire) != block || CountedDone(block, n);
    // A helper put aside after its last pipe may not have told its count yet.
    if (!over && self == 0 && idle >= kLooksBeforeTakingBack) {
      over = AllFinished(round);
    }
    // Idle time goes to the next block. Helpers go on with that while the
    // audio thread finishes this one; the audio thread itself only while it
    // waits anyway.
    if ((!over || self != 0) && RunAhead(block, round, own)) {
      idle = -1;
      continue;
    }
    if (over) return;
    // Looking less often leaves the lines the others write in their cache.
    for (int k = 0; k < kPausesPerLook; ++k) CpuPause();
  }
}

int32_t GraphSchedule::Finish(uint32_t block, int32_t index, int64_t round) {
  // Of the pipes this one makes ready, this thread runs one itself, while
  // its signal is still in the cache; the others go to their queues.
  int32_t next = -1;
  for (int32_t e = firstDependent_[static_cast<size_t>(index)];
       e < firstDependent_[static_cast<size_t>(index) + 1]; ++e) {
    const int32_t d = dependents_[static_cast<size_t>(e)];
    // Ready when the count reaches every predecessor of every block so far.
    const int64_t target = round * predecessorCount_[static_cast<size_t>(d)];
    auto& finished = state_[static_cast<size_t>(d)].waitingFor;
    if (finished.fetch_add(1, std::memory_order_acq_rel) + 1 != target) continue;
    if (next < 0) {
      next = d;
      continue;
    }
    Queue& queue = queues_[static_cast<size_t>(home_[static_cast<size_t>(d)])];
    const int32_t slot = queue.nextSlot.fetch_add(1, std::memory_order_relaxed);
    queue.ready[static_cast<size_t>(slot)].store(Tag(block, static_cast<uint32_t>(d)),
                                                 std::memory_order_release);
  }
  return next;
}

namespace {

// A helper that was preempted in the middle of a pipe: let it run.
template <typename Condition>
void SpinUntil(Condition&& condition) {
  for (int spins = 0; !condition(); ++spins) {
    if (spins < 4096) {
      CpuPause();
    } else {
      std::this_thread::yield();
    }
  }
}

}  // namespace

bool GraphSchedule::TakeBack(uint32_t block, int64_t round, int self, int32_t& ran) {
  if (block_.load(std::memory_order_acquire) != block) return false;
  const int32_t n = Size();
  for (int32_t i = 0; i < n; ++i) {
    const PipeState& state = state_[static_cast<size_t>(i)];
    if (state.started.load(std::memory_order_acquire) >= round) continue;
    // Ready once every predecessor of every round so far has finished.
    if (state.waitingFor.load(std::memory_order_acquire) <
        round * predecessorCount_[static_cast<size_t>(i)]) {
      continue;
    }
    ran += Run(block, round, i, self);
    return true;
  }
  return false;
}

bool GraphSchedule::AllFinished(int64_t round) const {
  for (int32_t i = 0; i < Size(); ++i) {
    if (state_[static_cast<size_t>(i)].finished.load(std::memory_order_acquire) < round)
      return false;
  }
  return true;
}

bool GraphSchedule::CountedDone(uint32_t block, int32_t n) const {
  const uint64_t done = done_.load(std::memory_order_acquire);
  return done >> 32 == block && static_cast<int32_t>(static_cast<uint32_t>(done)) >= n;
}

void GraphSchedule::Publish(uint32_t block, int32_t ran) {
  uint64_t done = done_.load(std::memory_order_relaxed);
  while (done >> 32 == block &&
         !done_.compare_exchange_weak(done, done + static_cast<uint64_t>(ran),
                                      std::memory_order_release, std::memory_order_relaxed)) {
  }
}

void GraphSchedule::WaitForBlock() {
  const int32_t n = Size();
  const int64_t round = round_.load(std::memory_order_relaxed);
  SpinUntil([&] { return CountedDone(lastBlock_, n) || AllFinished(round); });
  // Helpers still looking at the slots leave at once.
  block_.store(0, std::memory_order_release);
  for (int32_t q = 0; q < queueCount_; ++q) {
    queues_[static_cast<size_t>(q)].nextClaim.store(Tag(lastBlock_, static_cast<uint32_t>(n)),
                                                    std::memory_order_release);
  }
}

}  // namespace tg
