// Processing and rebuild costs of the signal graph.
//   build/release/bench/tonegarden-bench
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "graph/CpuPause.h"
#include "graph/ProcessingPool.h"
#include "graph/QSDynSigContext.h"

namespace tg {
namespace {

class PassThrough final : public QSDynSigPipe {
 public:
  PassThrough(QSDynSigContext* context, int inlets) : QSDynSigPipe(context, inlets, 1) {
    SetOutletSignal(0, &out_);
  }
  void Process() override {
    out_.CopyFrom(InletSignal(0));
    for (int i = 1; i < InletCount(); ++i) out_ += InletSignal(i);
  }

 private:
  QSSignal out_;
};

class Sink final : public QSDynSigPipe {
 public:
  Sink(QSDynSigContext* context, int inlets) : QSDynSigPipe(context, inlets, 0) {}
  void Process() override { benchmark::DoNotOptimize(InletSignal(0)[0]); }
};

void ReportPerPipe(benchmark::State& state, int pipes) {
  state.counters["per_pipe_block"] =
      benchmark::Counter(static_cast<double>(pipes), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

void BM_ProcessBlockChain(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  QSDynSigContext context;
  QSDynSigPipe* last = new PassThrough(&context, 1);
  for (int i = 1; i < n; ++i) {
    auto* p = new PassThrough(&context, 1);
    context.Connect(last, 0, p, 0, false);
    last = p;
  }
  context.Connect(last, 0, new Sink(&context, 1), 0, false);
  for (auto _ : state) context.ProcessBlock();
  ReportPerPipe(state, n);
}

void BM_ProcessBlockFanOut(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  QSDynSigContext context;
  auto* source = new PassThrough(&context, 1);
  auto* sink = new Sink(&context, n);
  for (int i = 0; i < n - 1; ++i) {
    auto* p = new PassThrough(&context, 1);
    context.Connect(source, 0, p, 0, false);
    context.Connect(p, 0, sink, i, false);
  }
  context.Connect(source, 0, sink, n - 1, false);
  for (auto _ : state) context.ProcessBlock();
  ReportPerPipe(state, n);
}

// 50 loops of 20 pipes, each loop fed by the one before it: 1000 pipes and
// 50 feedback limiters.
void BM_RebuildUpdateList1000Pipes50Loops(benchmark::State& state) {
  QSDynSigContext context;
  QSDynSigPipe* previousEnd = nullptr;
  for (int loop = 0; loop < 50; ++loop) {
    auto* head = new PassThrough(&context, 2);
    if (previousEnd != nullptr) context.Connect(previousEnd, 0, head, 0, false);
    QSDynSigPipe* last = head;
    for (int i = 1; i < 20; ++i) {
      auto* p = new PassThrough(&context, 1);
      context.Connect(last, 0, p, 0, false);
      last = p;
    }
    context.Connect(last, 0, head, 1, false);
    previousEnd = last;
  }
  context.Connect(previousEnd, 0, new Sink(&context, 1), 0, false);
  if (context.LimiterCount() != 50 || context.UpdateList().size() != 1001) {
    state.SkipWithError("unexpected graph");
    return;
  }
  for (auto _ : state) context.RebuildUpdateList();
  state.counters["limiters"] = context.LimiterCount();
}

// A pipe with a fixed amount of arithmetic and no memory to speak of, so a
// shared pass's own cost shows against the work it shares.
class Busy final : public QSDynSigPipe {
 public:
  Busy(QSDynSigContext* context, int rounds) : QSDynSigPipe(context, 1, 1), rounds_(rounds) {
    SetOutletSignal(0, &out_);
  }
  void Process() override {
    float x = state_;
    for (int i = 0; i < kBlockSize; ++i) {
      for (int k = 0; k < rounds_; ++k) x = x * 0.999f + InletSignal(0)[i] * 0.001f;
      out_[i] = x;
    }
    state_ = x;
  }

 private:
  int rounds_;
  QSSignal out_;
  float state_ = 0.0f;
};

// Sixteen chains of two busy pipes into two mixing pipes and a sink, like
// the sixteen-delay patch without its memory traffic; range(0) threads,
// range(1) the work of each pipe (0: the pass's own cost alone).
void BM_SharedPassSixteenChains(benchmark::State& state) {
  QSDynSigContext context;
  auto* sink = new Sink(&context, 1);
  auto* sum = new PassThrough(&context, 2);
  context.Connect(sum, 0, sink, 0, false);
  for (int half = 0; half < 2; ++half) {
    auto* mix = new PassThrough(&context, 8);
    context.Connect(mix, 0, sum, half, false);
    for (int k = 0; k < 8; ++k) {
      auto* a = new Busy(&context, static_cast<int>(state.range(1)));
      auto* b = new Busy(&context, static_cast<int>(state.range(1)));
      context.Connect(a, 0, b, 0, false);
      context.Connect(b, 0, mix, k, false);
    }
  }
  ProcessingPool pool(static_cast<int>(state.range(0)));
  context.SetPool(&pool);
  context.SetJudgeCycle(0, 0);  // the shared pass itself, even where it loses
  state.counters["shared"] = context.SharesPasses() ? 1 : 0;
  for (auto _ : state) context.ProcessBlock();
  context.SetPool(nullptr);
}

// What handing work to another core costs here: a flag there and back,
// with range(0) blocks of signal written on this side and read on the
// other, as a wire between two threads of a shared pass does each block.
// Where this nears the work of the pipes a thread would take over (the
// per_pipe_block figures above), a second thread cannot gain.
void BM_HandOverBetweenThreads(benchmark::State& state) {
  std::vector<QSSignal> blocks(static_cast<size_t>(state.range(0)));
  std::atomic<int64_t> turn{0};
  std::atomic<bool> done{false};
  std::thread partner([&] {
    float sum = 0.0f;
    for (int64_t mine = 1;; mine += 2) {
      while (turn.load(std::memory_order_acquire) != mine) {
        if (done.load(std::memory_order_relaxed)) {
          benchmark::DoNotOptimize(sum);
          return;
        }
        CpuPause();
      }
      for (const QSSignal& b : blocks) {
        for (int i = 0; i < kBlockSize; ++i) sum += b[i];
      }
      turn.store(mine + 1, std::memory_order_release);
    }
  });
  int64_t told = 0;
  float value = 0.0f;
  for (auto _ : state) {
    for (QSSignal& b : blocks) b.Fill(value += 1.0f);
    turn.store(++told, std::memory_order_release);
    while (turn.load(std::memory_order_acquire) != told + 1) CpuPause();
    ++told;
  }
  done.store(true);
  partner.join();
  state.counters["bytes"] = static_cast<double>(blocks.size() * sizeof(QSSignal));
}

BENCHMARK(BM_HandOverBetweenThreads)->Arg(0)->Arg(1)->Arg(4)->UseRealTime();
BENCHMARK(BM_SharedPassSixteenChains)->ArgsProduct({{1, 2}, {0, 1}})->UseRealTime();
BENCHMARK(BM_ProcessBlockChain)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BM_ProcessBlockFanOut)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BM_RebuildUpdateList1000Pipes50Loops);

}  // namespace
}  // namespace tg
