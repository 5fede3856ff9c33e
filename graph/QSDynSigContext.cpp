#include "graph/QSDynSigContext.h"

#include <cxxabi.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ostream>
#include <string>
#include <typeinfo>

#include "dsp/NonFinite.h"
#include "graph/ProcessingPool.h"

namespace tg {

namespace {

void EraseFirst(std::vector<QSDynSigPipe*>& list, const QSDynSigPipe* pipe) {
  auto it = std::find(list.begin(), list.end(), pipe);
  if (it != list.end()) list.erase(it);
}

bool ValidOutlet(const QSDynSigPipe* pipe, int outlet) {
  return pipe != nullptr && outlet >= 0 && outlet < pipe->OutletCount();
}

bool ValidInlet(const QSDynSigPipe* pipe, int inlet) {
  return pipe != nullptr && inlet >= 0 && inlet < pipe->InletCount();
}

std::string ClassName(const QSDynSigPipe& pipe) {
  const char* mangled = typeid(pipe).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled != nullptr) ? demangled : mangled;
  std::free(demangled);
  return name;
}

void DumpList(std::ostream& out, const char* title, const std::vector<QSDynSigPipe*>& pipes) {
  out << title << "\n";
  for (const QSDynSigPipe* pipe : pipes) {
    out << "\t" << ClassName(*pipe) << "\t [ " << static_cast<const void*>(pipe) << " ]\n";
  }
}

}  // namespace

QSDynSigContext::OutletLimiter::OutletLimiter(QSDynSigPipe* pipe, int32_t outlet)
    : limiter(1.0f, 2.0f, 0.05, 0.0, 0.05),
      noise(DenormalNoise::FromClock()),
      sourcePipe(pipe),
      sourceOutlet(outlet) {}

QSDynSigContext::QSDynSigContext() = default;

QSDynSigContext::~QSDynSigContext() {
  if (pool_ != nullptr) pool_->Forget(*schedule_);
  destroying_ = true;
  // Each destructor disconnects its pipe; with the destroying flag set no
  // rebuild runs, so nothing visits a pipe that is already gone.
  while (!allPipes_.empty()) {
    QSDynSigPipe* pipe = allPipes_.back();
    allPipes_.pop_back();
    delete pipe;
  }
}

void QSDynSigContext::AddPipe(QSDynSigPipe* pipe) {
  allPipes_.push_back(pipe);
  if (pipe->OutletCount() > 0) {
    pipe->scheduleMark_ = generation_ - 1;
    return;
  }
  pipe->scheduleMark_ = generation_;
  terminalPipes_.push_back(pipe);
  updateList_.push_back(pipe);
  if (deferred_) {
    StructureDirty();
    return;
  }
  StructureChanged();
}

void QSDynSigContext::RemovePipe(QSDynSigPipe* pipe) {
  if (destroying_) return;
  EraseFirst(allPipes_, pipe);
  // Out of the list at once, whatever is deferred: nothing runs a pipe that is going,
  // nor conditions its outlets (the conditioner itself goes at the next install).
  if (pipe->scheduleMark_ == generation_) EraseFirst(updateList_, pipe);
  for (auto& limiter : limiters_) {
    if (limiter && limiter->sourcePipe == pipe) limiter->sourcePipe = nullptr;
  }
  if (pipe->OutletCount() == 0) EraseFirst(terminalPipes_, pipe);
  if (deferred_) {
    StructureDirty();
  } else if (pipe->OutletCount() > 0) {
    StructureChanged();
  } else {
    RebuildUpdateList();
  }
}

bool QSDynSigContext::Connect(QSDynSigPipe* source, int outlet, QSDynSigPipe* destination,
                              int inlet, bool replace) {
  if (!ValidOutlet(source, outlet) || !ValidInlet(destination, inlet)) return false;
  QSDynSigPipe::Inlet& in = destination->inlets_[static_cast<size_t>(inlet)];
  if (replace && in.source != nullptr) Disconnect(in.source, in.sourceOutlet, destination, inlet);
  if (in.source != nullptr) return false;

  QSDynSigPipe::Outlet& out = source->outlets_[static_cast<size_t>(outlet)];
  out.references.push_back({destination, inlet});
  in.source = source;
  in.sourceOutlet = outlet;
  in.signal = out.signal;
  destination->InletChanged(inlet);
  if (destination->IsScheduled()) {
    if (deferred_) {
      StructureDirty();
    } else {
      RebuildUpdateList();
    }
  }
  return true;
}

bool QSDynSigContext::Disconnect(QSDynSigPipe* source, int outlet, QSDynSigPipe* destination,
                                 int inlet) {
  if (!ValidOutlet(source, outlet) || !ValidInlet(destination, inlet)) return false;
  QSDynSigPipe::Inlet& in = destination->inlets_[static_cast<size_t>(inlet)];
  if (in.source != source || in.sourceOutlet != outlet) return false;

  auto& refs = source->outlets_[static_cast<size_t>(outlet)].references;
  auto it = std::find_if(refs.begin(), refs.end(), [&](const QSDynSigPipe::InletRef& r) {
    return r.pipe == destination && r.inlet == inlet;
  });
  if (it != refs.end()) refs.erase(it);
  in.source = nullptr;
  in.sourceOutlet = -1;
  in.signal = &QSSignal::Silent();
  destination->InletChanged(inlet);

  if (source->IsScheduled()) {
    const bool stillFeeds = std::any_of(source->outlets_.begin(), source->outlets_.end(),
                                        [](const auto& o) { return !o.references.empty(); });
    if (!stillFeeds) {
      if (deferred_) {
        StructureDirty();
      } else {
        RebuildUpdateList();
      }
    }
  }
  // Otherwise the list stays: the schedule may keep a wire that is gone,
  // which only orders two pipes that need not be.
  return true;
}

void QSDynSigContext::RebuildUpdateList() {
  if (destroying_) return;
  Plan plan = PlanRebuild();
  InstallPlan(plan);
}

void QSDynSigContext::StructureDirty() {
  dirty_ = true;
  // Passes run the list as it stands, on one thread, until the next install.
  scheduleStale_ = true;
}

QSDynSigContext::Plan QSDynSigContext::PlanRebuild() {
  Plan plan;
  plan.updateList.reserve(allPipes_.size());
  ++planGeneration_;
  for (QSDynSigPipe* terminal : terminalPipes_) Visit(terminal, plan);
  for (const auto& [pipe, outlet] : plan.feedbackOutlets) {
    if (FindLimiter(pipe, outlet) == nullptr) {
      plan.freshLimiters.push_back(std::make_unique<OutletLimiter>(pipe, outlet));
    }
  }
  plan.limiters.reserve(plan.feedbackOutlets.size());
  plan.retired.reserve(limiters_.size());
  plan.pool = pool_;
  if (pool_ != nullptr) {
    plan.schedule = std::make_unique<GraphSchedule>();
    plan.schedule->Build(plan.updateList, pool_->Threads());
  }
  return plan;
}

void QSDynSigContext::InstallPlan(Plan& plan) {
  if (destroying_) return;
  ++generation_;
  for (QSDynSigPipe* pipe : plan.updateList) pipe->scheduleMark_ = generation_;
  updateList_.swap(plan.updateList);
  // A conditioner that goes on keeps the running loop's state.
  size_t fresh = 0;
  for (const std::pair<QSDynSigPipe*, int32_t>& feedback : plan.feedbackOutlets) {
    auto kept = std::find_if(limiters_.begin(), limiters_.end(), [&feedback](const auto& l) {
      return l && l->sourcePipe == feedback.first && l->sourceOutlet == feedback.second;
    });
    plan.limiters.push_back(kept != limiters_.end() ? std::move(*kept)
                                                    : std::move(plan.freshLimiters[fresh++]));
  }
  for (auto& limiter : limiters_) {
    if (limiter) plan.retired.push_back(std::move(limiter));
  }
  limiters_.swap(plan.limiters);
  if (plan.schedule != nullptr && plan.pool == pool_) {
    // Helpers may still look at the schedule between passes: out with them.
    pool_->Forget(*schedule_);
    schedule_.swap(plan.schedule);
    NewSchedule();
  } else {
    scheduleStale_ = true;
    if (pool_ != nullptr) StructureChanged();
  }
  dirty_ = false;
}

void QSDynSigContext::StructureChanged() {
  scheduleStale_ = true;
  if (pool_ == nullptr) return;
  // Helpers may still look at the schedule between passes: out with them.
  pool_->Forget(*schedule_);
  schedule_->Build(updateList_, pool_->Threads());
  NewSchedule();
}

void QSDynSigContext::NewSchedule() {
  scheduleStale_ = false;
  judge_.Restart(pool_ != nullptr ? pool_->Threads() : 1);
}

void QSDynSigContext::SetJudgeCycle(int probeBlocks, int cycleBlocks) {
  judge_.SetCycle(probeBlocks, cycleBlocks);
  judge_.Restart(pool_ != nullptr ? pool_->Threads() : 1);
}

void QSDynSigContext::SetPool(ProcessingPool* pool) {
  if (pool == pool_) return;
  if (pool_ != nullptr) pool_->Forget(*schedule_);
  pool_ = pool;
  if (dirty_) return;  // the next install builds it
  StructureChanged();  // one queue per thread
}

bool QSDynSigContext::SharesPasses() const {
  return pool_ != nullptr && pool_->Threads() > 1 && !scheduleStale_ && schedule_->WorthSharing();
}

void QSDynSigContext::Visit(QSDynSigPipe* root, Plan& plan) {
  // Depth-first and post-order, like the recursive definition, but on an
  // explicit stack so a very long chain cannot overflow the thread's stack.
  root->visiting_ = true;
  root->planMark_ = planGeneration_;
  visitStack_.clear();
  visitStack_.emplace_back(root, 0);
  while (!visitStack_.empty()) {
    QSDynSigPipe* pipe = visitStack_.back().first;
    const int k = visitStack_.back().second;
    if (k >= pipe->InletCount()) {
      plan.updateList.push_back(pipe);
      pipe->visiting_ = false;
      visitStack_.pop_back();
      continue;
    }
    ++visitStack_.back().second;
    const QSDynSigPipe::Inlet& in = pipe->inlets_[static_cast<size_t>(k)];
    if (in.signal == &QSSignal::Silent() || in.source == nullptr) continue;
    QSDynSigPipe* source = in.source;
    if (source->planMark_ != planGeneration_) {
      source->visiting_ = true;
      source->planMark_ = planGeneration_;
      visitStack_.emplace_back(source, 0);
    } else if (source->visiting_) {
      const std::pair<QSDynSigPipe*, int32_t> outlet{source, in.sourceOutlet};
      if (std::find(plan.feedbackOutlets.begin(), plan.feedbackOutlets.end(), outlet) ==
          plan.feedbackOutlets.end()) {
        plan.feedbackOutlets.push_back(outlet);
      }
    }
  }
}

const QSDynSigContext::OutletLimiter* QSDynSigContext::FindLimiter(const QSDynSigPipe* pipe,
                                                                   int outlet) const {
  for (const auto& l : limiters_) {
    if (l->sourcePipe == pipe && l->sourceOutlet == outlet) return l.get();
  }
  return nullptr;
}

void QSDynSigContext::ProcessBlock(bool anotherFollows) {
  using Clock = std::chrono::steady_clock;
  // Only passes that could be shared are timed: the judge picks the way.
  const bool judged = SharesPasses();
  const Clock::time_point start = judged ? Clock::now() : Clock::time_point{};
  if (judged && judge_.Share()) {
    pool_->Run(*schedule_, anotherFollows && judge_.NextSurelyShared());
  } else {
    for (QSDynSigPipe* pipe : updateList_) pipe->Process();
  }
  if (judged) {
    judge_.Took(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
  }
  for (const auto& l : limiters_) {
    if (l->sourcePipe == nullptr) continue;
    QSSignal* s = l->sourcePipe->outlets_[static_cast<size_t>(l->sourceOutlet)].signal;
    // The shared unassigned signal must stay silent for every other outlet.
    if (s == QSSignal::Unassigned()) continue;
    // Before the filters, whose state a single NaN would ruin for good.
    SilenceNonFinite(s->Data(), kBlockSize);
    l->noise.AddTo(s->Data(), kBlockSize);
    l->dcBlocker.Process(s->Data(), kBlockSize);
    l->limiter.Process(s->Data(), kBlockSize);
  }
  clock_.AdvanceBlock();
}

void QSDynSigContext::ResetAll() {
  for (QSDynSigPipe* pipe : updateList_) pipe->Reset();
}

void QSDynSigContext::ResetSounds() {
  // SoundIn's and SoundOut's resets are about their files and belong to the
  // user-interface thread; they hold no sound of their own to cut short.
  for (QSDynSigPipe* pipe : updateList_) {
    if (!pipe->SharesEngineState()) pipe->Reset();
    for (QSDynSigPipe::Outlet& outlet : pipe->outlets_) {
      if (outlet.signal != QSSignal::Unassigned()) outlet.signal->Fill(0.0f);
    }
  }
  for (const auto& l : limiters_) l->dcBlocker.Clear();
}

void QSDynSigContext::Dump(std::ostream& out) const {
  DumpList(out, "All Pipes:", allPipes_);
  DumpList(out, "Terminal Pipes:", terminalPipes_);
  DumpList(out, "Update List:", updateList_);
}

}  // namespace tg
