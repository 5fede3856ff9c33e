#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <utility>
#include <vector>

#include "dsp/DcBlocker.h"
#include "dsp/DenormalNoise.h"
#include "dsp/GainLimiter.h"
#include "graph/GraphSchedule.h"
#include "graph/QSDynSigPipe.h"
#include "graph/SharingJudge.h"
#include "graph/TempoClock.h"

namespace tg {

// The signal graph: every pipe of a patch, the order in which they run, the
// conditioners of feedback outlets, and the tempo clock. It has no lock of
// its own: the audio thread runs ProcessBlock and the user-interface thread
// changes the structure, both while holding the engine lock.
class ProcessingPool;

class QSDynSigContext {
 public:
  // Conditions one outlet that closes a feedback loop, so the loop can
  // neither blow up nor collect DC or denormals.
  struct OutletLimiter {
    OutletLimiter(QSDynSigPipe* pipe, int32_t outlet);
    GainLimiter limiter;
    DcBlocker dcBlocker;
    DenormalNoise noise;
    QSDynSigPipe* sourcePipe;
    int32_t sourceOutlet;
  };

  // A new update list, its feedback conditioners and its schedule, worked
  // out by the user-interface thread without the engine lock (nothing the
  // audio thread uses is touched) and put in place under it in a moment.
  // What it replaces goes with it, to be freed after the lock.
  struct Plan {
    std::vector<QSDynSigPipe*> updateList;
    std::vector<std::pair<QSDynSigPipe*, int32_t>> feedbackOutlets;
    std::vector<std::unique_ptr<OutletLimiter>> freshLimiters;  // for outlets none conditions yet
    std::vector<std::unique_ptr<OutletLimiter>> limiters;       // room for the list installed
    std::vector<std::unique_ptr<OutletLimiter>> retired;
    std::unique_ptr<GraphSchedule> schedule;
    ProcessingPool* pool = nullptr;
  };

  QSDynSigContext();
  // UI thread, audio stopped: deletes every pipe still registered.
  ~QSDynSigContext();
  QSDynSigContext(const QSDynSigContext&) = delete;
  QSDynSigContext& operator=(const QSDynSigContext&) = delete;

  // UI thread, under the engine lock; called by pipes only.
  void AddPipe(QSDynSigPipe* pipe);
  void RemovePipe(QSDynSigPipe* pipe);

  // UI thread, under the engine lock.
  bool Connect(QSDynSigPipe* source, int outlet, QSDynSigPipe* destination, int inlet,
               bool replace);
  bool Disconnect(QSDynSigPipe* source, int outlet, QSDynSigPipe* destination, int inlet);
  // Under the engine lock: plans and installs at once.
  void RebuildUpdateList();

  // UI thread. Deferred, changes of structure only mark the update list
  // stale (a removed pipe leaves it at once, and passes run on one thread
  // until the next install); the owner rebuilds once a batch of edits is
  // done, planning without the lock and installing under it.
  void SetDeferredRebuild(bool deferred) { deferred_ = deferred; }
  bool NeedsRebuild() const { return dirty_; }
  // UI thread, with or without the engine lock.
  Plan PlanRebuild();
  // UI thread, under the engine lock: bounded work, no allocation.
  void InstallPlan(Plan& plan);

  // UI thread, under the engine lock: threads to share the passes with, or
  // none. A pool set here must outlive its use (set none before it goes).
  void SetPool(ProcessingPool* pool);
  ProcessingPool* Pool() const { return pool_; }
  // Whether passes may be shared between threads (the judge then times
  // both ways now and then and runs most of them the faster way).
  bool SharesPasses() const;
  const SharingJudge& Judge() const { return judge_; }
  // UI thread, under the engine lock (for tests): how often the two ways
  // are timed.
  void SetJudgeCycle(int probeBlocks, int cycleBlocks);
  const GraphSchedule& Schedule() const { return *schedule_; }

  // Audio thread, under the engine lock: one pass over the update list, or
  // the same work shared with the pool's threads, with the same output.
  // anotherFollows: the next block comes before the lock is let go (idle
  // threads may begin it).
  void ProcessBlock(bool anotherFollows = false);
  // UI thread, audio stopped: resets every scheduled pipe in update order.
  void ResetAll();
  // Audio thread between two passes, no pass shared meanwhile (a panic): resets
  // every scheduled pipe that shares no engine state, and silences what the
  // last pass left on the outlets, so no feedback wire brings any of it back.
  void ResetSounds();
  // UI thread: the diagnostic listing of all pipes, terminals and the update list.
  void Dump(std::ostream& out) const;

  TempoClock& Clock() { return clock_; }
  const TempoClock& Clock() const { return clock_; }

  int32_t Generation() const { return generation_; }
  const std::vector<QSDynSigPipe*>& AllPipes() const { return allPipes_; }
  const std::vector<QSDynSigPipe*>& TerminalPipes() const { return terminalPipes_; }
  const std::vector<QSDynSigPipe*>& UpdateList() const { return updateList_; }
  int LimiterCount() const { return static_cast<int>(limiters_.size()); }
  const OutletLimiter& LimiterAt(int i) const { return *limiters_[static_cast<size_t>(i)]; }
  const OutletLimiter* FindLimiter(const QSDynSigPipe* pipe, int outlet) const;

 private:
  void Visit(QSDynSigPipe* root, Plan& plan);
  void StructureDirty();
  // After every change of structure: the schedule follows the update list
  // while a pool is set, and is built when one is set otherwise.
  void StructureChanged();
  // A new schedule, or pool: the judge measures afresh.
  void NewSchedule();

  bool destroying_ = false;
  int32_t generation_ = 0;
  std::vector<QSDynSigPipe*> terminalPipes_;
  std::vector<QSDynSigPipe*> updateList_;
  std::vector<QSDynSigPipe*> allPipes_;
  std::vector<std::unique_ptr<OutletLimiter>> limiters_;
  // Depth-first work stack of the rebuild: pipe and its next inlet to look at.
  std::vector<std::pair<QSDynSigPipe*, int>> visitStack_;
  int32_t planGeneration_ = 0;
  TempoClock clock_;
  std::unique_ptr<GraphSchedule> schedule_ = std::make_unique<GraphSchedule>();
  // A pass's budget: a block's time on the device.
  SharingJudge judge_{static_cast<int64_t>(1e9 * kBlockSize / kSampleRate)};
  bool scheduleStale_ = true;
  bool deferred_ = false;
  bool dirty_ = false;
  ProcessingPool* pool_ = nullptr;
};

}  // namespace tg
