// Processing and rebuild costs of the signal graph.
//   build/release/bench/tonegarden-bench
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "engine/graph/QSDynSigContext.h"

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

BENCHMARK(BM_ProcessBlockChain)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BM_ProcessBlockFanOut)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK(BM_RebuildUpdateList1000Pipes50Loops);

}  // namespace
}  // namespace tg
