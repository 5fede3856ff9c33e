#include "graph/ProcessingPool.h"

#include <algorithm>

#include "graph/CpuPause.h"
#include "graph/GraphSchedule.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace tg {

namespace {

// About 20 to 50 microseconds: the gap between the blocks of one burst.
constexpr int kSpinsBeforeSleep = 20000;

// Every thread of a pass computes with the audio thread's floating-point
// modes (flush-to-zero, rounding), or the output would depend on who ran what.
uint32_t FloatControl() {
#if defined(__SSE__)
  return _mm_getcsr();
#else
  return 0;
#endif
}

void SetFloatControl([[maybe_unused]] uint32_t control) {
#if defined(__SSE__)
  if (_mm_getcsr() != control) _mm_setcsr(control);
#endif
}

}  // namespace

ProcessingPool::ProcessingPool(int threads, const std::function<bool()>& onStart) {
  helpers_.reserve(static_cast<size_t>(std::max(threads - 1, 0)));
  for (int i = 1; i < threads; ++i) {
    helpers_.emplace_back([this, onStart, i] {
      if (!onStart || onStart()) realTime_.fetch_add(1);
      started_.fetch_add(1);
      started_.notify_all();
      Help(i);
    });
  }
}

bool ProcessingPool::AllRealTime() const {
  const int helpers = static_cast<int>(helpers_.size());
  for (int seen = started_.load(); seen < helpers; seen = started_.load()) started_.wait(seen);
  return realTime_.load() == helpers;
}

ProcessingPool::~ProcessingPool() {
  stopping_.store(true);
  wake_.fetch_add(1);
  wake_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

void ProcessingPool::Run(GraphSchedule& schedule, bool anotherFollows) {
  const uint32_t block = schedule.BeginBlock(anotherFollows);
  // Only what changed is written: every store here takes the line away
  // from helpers that are watching it.
  const uint32_t control = FloatControl();
  if (floatControl_.load(std::memory_order_relaxed) != control) {
    floatControl_.store(control, std::memory_order_relaxed);
  }
  if (job_.load(std::memory_order_relaxed) != &schedule) job_.store(&schedule);
  wake_.store(block);  // the block number is the news
  if (sleepers_.load() > 0) wake_.notify_all();
  schedule.RunShare(block, 0);
  schedule.WaitForBlock();
}

void ProcessingPool::Forget(const GraphSchedule& schedule) {
  GraphSchedule* expected = const_cast<GraphSchedule*>(&schedule);
  job_.compare_exchange_strong(expected, nullptr);
  // A helper that took the pointer before is about to find its block over.
  while (helping_.load() > 0) std::this_thread::yield();
}

void ProcessingPool::Help(int self) {
  uint32_t seen = wake_.load();
  for (;;) {
    uint32_t now = wake_.load(std::memory_order_acquire);
    // A pool can go before its helper has even started: stopping counts as news.
    for (int spins = 0; now == seen && !stopping_.load();
         now = wake_.load(std::memory_order_acquire)) {
      if (++spins < kSpinsBeforeSleep) {
        CpuPause();
        continue;
      }
      sleepers_.fetch_add(1);
      wake_.wait(seen);
      sleepers_.fetch_sub(1);
      spins = 0;
    }
    if (stopping_.load()) return;
    seen = now;
    helping_.fetch_add(1);
    // Should a later pass have begun meanwhile, the block number may not be
    // the job's own: then the helper simply finds nothing to claim.
    if (GraphSchedule* job = job_.load()) {
      SetFloatControl(floatControl_.load(std::memory_order_relaxed));
      job->RunShare(now, self);
    }
    helping_.fetch_sub(1);
  }
}

}  // namespace tg
