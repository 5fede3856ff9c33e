// Per-sample costs of the DSP blocks, next to copying a block as the floor.
//   build/release/bench/tonegarden-bench --benchmark_filter=Dsp
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <numbers>

#include "dsp/DcBlocker.h"
#include "dsp/DenormalNoise.h"
#include "dsp/EqualPowerMix.h"
#include "dsp/GainLimiter.h"
#include "dsp/GainSmoother.h"
#include "dsp/NonFinite.h"
#include "dsp/QSAllpass.h"
#include "dsp/QSCmixReverb.h"
#include "dsp/QSComb.h"
#include "dsp/QSDelayLine.h"
#include "dsp/QSFunctionTable.h"
#include "dsp/QSNoiseSource.h"
#include "dsp/QSOscillator.h"
#include "dsp/QSSineRotor.h"
#include "dsp/QSVInterp.h"

namespace tg {
namespace {

struct Blocks {
  Blocks() {
    QSNoiseSource noise(1, -1.0, 2.0);
    noise.Fill(in.data());
  }
  alignas(64) std::array<float, kBlockSize> in{};
  alignas(64) std::array<float, kBlockSize> out{};
  alignas(64) std::array<float, kBlockSize> out2{};
};

void PerSample(benchmark::State& state) {
  state.counters["per_sample"] = benchmark::Counter(
      kBlockSize, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_DspMemcpyBlock(benchmark::State& state) {
  Blocks b;
  for (auto _ : state) {
    std::memcpy(b.out.data(), b.in.data(), sizeof b.in);
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

template <typename Filter>
Filter& Tuned(Filter& f) {
  f.delay.Set(1000.5);
  f.feedback.Set(0.7);
  return f;
}

void BM_DspComb(benchmark::State& state) {
  Blocks b;
  QSComb comb(0.1);
  Tuned(comb);
  for (auto _ : state) {
    comb.Process(b.in.data(), b.out.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspCombBlockRateDelay(benchmark::State& state) {
  Blocks b;
  QSComb comb(0.1);
  Tuned(comb);
  for (auto _ : state) {
    comb.ProcessBlockDelay(b.in.data(), b.out.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspAllpass(benchmark::State& state) {
  Blocks b;
  QSAllpass allpass(0.1);
  Tuned(allpass);
  for (auto _ : state) {
    allpass.Process(b.in.data(), b.out.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspAllpassBlockRateDelay(benchmark::State& state) {
  Blocks b;
  QSAllpass allpass(0.1);
  Tuned(allpass);
  for (auto _ : state) {
    allpass.ProcessBlockDelay(b.in.data(), b.out.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspDelayLineRead(benchmark::State& state) {
  Blocks b;
  QSDelayLine line(2.0);
  for (auto _ : state) {
    line.Read(b.out.data(), 0.5123);
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspDelayLineReadMoving(benchmark::State& state) {
  Blocks b;
  QSDelayLine line(2.0);
  for (auto _ : state) {
    double delay = 0.5123;
    line.ReadMoving(b.out.data(), delay, 1.5);
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspDelayLineWrite(benchmark::State& state) {
  Blocks b;
  QSDelayLine line(2.0);
  for (auto _ : state) {
    line.Write(b.in.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspReverb(benchmark::State& state) {
  Blocks b;
  QSCmixReverb reverb;
  for (auto _ : state) {
    reverb.Process(b.in.data(), b.out.data(), b.out2.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspOscillator(benchmark::State& state) {
  Blocks b;
  QSFunctionTable table(1024);
  table.AddSine(1, 1, 0, 0);
  QSOscillator osc(table);
  osc.SetFrequency(441.3);
  for (auto _ : state) {
    osc.Fill(b.out.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspSineRotor(benchmark::State& state) {
  Blocks b;
  QSSineRotor rotor;
  rotor.SetStep(2 * std::numbers::pi * 441.3 / kSampleRate);
  for (auto _ : state) {
    rotor.Fill(b.out.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspNoise(benchmark::State& state) {
  Blocks b;
  QSNoiseSource noise(7, -1.0, 2.0);
  for (auto _ : state) {
    noise.Fill(b.out.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspGainSmoother(benchmark::State& state) {
  Blocks b;
  GainSmoother smoother(static_cast<float>(kSampleRate), 20.0);
  smoother.SetTarget(0.7);
  for (auto _ : state) {
    smoother.Apply(b.in.data(), b.out.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

// Long after the target was set: the gain no longer moves.
void BM_DspGainSmootherSettled(benchmark::State& state) {
  Blocks b;
  GainSmoother smoother(static_cast<float>(kSampleRate), 20.0);
  smoother.SetTarget(0.1);
  for (int i = 0; i < 1000; ++i) smoother.Apply(b.in.data(), b.out.data());
  for (auto _ : state) {
    smoother.Apply(b.in.data(), b.out.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

// A new target every block, so the gain is always on its way.
void BM_DspGainSmootherMoving(benchmark::State& state) {
  Blocks b;
  GainSmoother smoother(static_cast<float>(kSampleRate), 20.0);
  bool up = false;
  for (auto _ : state) {
    up = !up;
    smoother.SetTarget(up ? 0.7 : 0.2);
    smoother.Apply(b.in.data(), b.out.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspVInterpGainSettled(benchmark::State& state) {
  Blocks b;
  QSVInterp ramp;
  ramp.Set(0.5);
  for (auto _ : state) {
    ramp.AccumulateGain(b.in.data(), b.out.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspVInterpGainRamping(benchmark::State& state) {
  Blocks b;
  QSVInterp ramp;
  ramp.Set(0.5);
  bool up = false;
  for (auto _ : state) {
    up = !up;
    ramp.Set(up ? 0.7 : 0.2);
    ramp.AccumulateGain(b.in.data(), b.out.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspDenormalNoiseAdd(benchmark::State& state) {
  Blocks b;
  DenormalNoise noise(3);
  for (auto _ : state) {
    noise.AddTo(b.out.data(), kBlockSize);
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspSilenceNonFinite(benchmark::State& state) {
  Blocks b;
  for (auto _ : state) {
    benchmark::DoNotOptimize(SilenceNonFinite(b.in.data(), kBlockSize));
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspEqualPowerMix(benchmark::State& state) {
  Blocks b;
  EqualPowerMix mix;
  mix.Recompute(0.6);
  for (auto _ : state) {
    mix.Apply(b.in.data(), b.out.data());
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspDcBlocker(benchmark::State& state) {
  Blocks b;
  DcBlocker dc;
  for (auto _ : state) {
    dc.Process(b.in.data(), b.out.data(), kBlockSize);
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

void BM_DspGainLimiter(benchmark::State& state) {
  Blocks b;
  GainLimiter limiter(1.0f, 2.0f, 0.05, 0.0, 0.05);
  for (auto _ : state) {
    b.out = b.in;
    limiter.Process(b.out.data(), kBlockSize);
    benchmark::ClobberMemory();
  }
  PerSample(state);
}

BENCHMARK(BM_DspMemcpyBlock);
BENCHMARK(BM_DspComb);
BENCHMARK(BM_DspCombBlockRateDelay);
BENCHMARK(BM_DspAllpass);
BENCHMARK(BM_DspAllpassBlockRateDelay);
BENCHMARK(BM_DspDelayLineRead);
BENCHMARK(BM_DspDelayLineReadMoving);
BENCHMARK(BM_DspDelayLineWrite);
BENCHMARK(BM_DspReverb);
BENCHMARK(BM_DspOscillator);
BENCHMARK(BM_DspSineRotor);
BENCHMARK(BM_DspNoise);
BENCHMARK(BM_DspGainSmoother);
BENCHMARK(BM_DspGainSmootherSettled);
BENCHMARK(BM_DspGainSmootherMoving);
BENCHMARK(BM_DspVInterpGainSettled);
BENCHMARK(BM_DspVInterpGainRamping);
BENCHMARK(BM_DspDenormalNoiseAdd);
BENCHMARK(BM_DspSilenceNonFinite);
BENCHMARK(BM_DspEqualPowerMix);
BENCHMARK(BM_DspDcBlocker);
BENCHMARK(BM_DspGainLimiter);

}  // namespace
}  // namespace tg
