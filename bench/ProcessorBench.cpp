// Per-block costs of the processors, each run on its own on fixed inputs.
//   build/release/bench/tonegarden-bench --benchmark_filter=Processor
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "contraptions/effects/dlgranulator/TGDLGranulator.h"
#include "contraptions/effects/sdelay/TGSDelay.h"
#include "contraptions/generators/additive10/TGAdditive10.h"
#include "contraptions/generators/bubbleblower/TGBubbleBlower.h"
#include "contraptions/generators/testgen/TGTestSignalGenerator.h"
#include "contraptions/mixers/mixers/TGMixers.h"
#include "dsp/QSNoiseSource.h"
#include "dsp/SampleConversion.h"
#include "files/loading/SoundLoader.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "graph/QSDynSigContext.h"

namespace tg {
namespace {

// An outlet that holds one block of noise; it is never run, so its block stays.
class FixedSource final : public QSDynSigPipe {
 public:
  FixedSource(QSDynSigContext* context, int32_t seed) : QSDynSigPipe(context, 0, 1) {
    QSNoiseSource noise(seed, -0.5, 1.0);
    noise.Fill(out_.Data());
    SetOutletSignal(0, &out_);
  }
  void Process() override {}

 private:
  QSSignal out_;
};

// The processor under test with sources on the given inlets; the context owns them all.
template <typename Processor>
Processor& Place(QSDynSigContext& context, int connectedInlets) {
  auto* p = new Processor(&context);
  for (int i = 0; i < connectedInlets; ++i) {
    context.Connect(new FixedSource(&context, 11 + i), 0, p, i, false);
  }
  return *p;
}

// Runs the processor until its smoothers and ramps have settled.
void Settle(QSDynSigPipe& p) {
  for (int b = 0; b < 400; ++b) p.Process();
}

void Run(benchmark::State& state, QSDynSigPipe& p) {
  for (auto _ : state) {
    p.Process();
    benchmark::ClobberMemory();
  }
}

void BM_ProcessorTestGenSine(benchmark::State& state) {
  QSDynSigContext context;
  auto& gen = Place<TGTestSignalGenerator>(context, 0);
  gen.amplitude.SetValue(0.1);
  gen.frequency.SetValue(250.0);
  gen.waveform.SetValue(1);
  Settle(gen);
  Run(state, gen);
}

void BM_ProcessorTestGenNoise(benchmark::State& state) {
  QSDynSigContext context;
  auto& gen = Place<TGTestSignalGenerator>(context, 0);
  gen.amplitude.SetValue(0.1);
  gen.waveform.SetValue(0);
  Settle(gen);
  Run(state, gen);
}

// The densest grain stream: a grain every 2 ms, twenty half-second grains
// always sounding, each reading the line four times as fast.
void BM_ProcessorDLGranulatorDensest(benchmark::State& state) {
  QSDynSigContext context;
  auto& g = Place<TGDLGranulator>(context, 1);
  g.interonsetTime.SetValue(FloatRange{2.0f, 2.0f});
  g.grainDuration.SetValue(FloatRange{500.0f, 500.0f});
  g.pitchScaler.SetValue(FloatRange{4.0f, 4.0f});
  g.delayTime.SetValue(FloatRange{0.0f, 9500.0f});
  g.maxGrains.SetValue(TGDLGranulator::kVoices);
  g.feedback.SetValue(0.5);
  Settle(g);
  Run(state, g);
}

// All ten partials sounding.
void BM_ProcessorAdditive10AllPartials(benchmark::State& state) {
  QSDynSigContext context;
  auto& a = Place<TGAdditive10>(context, 0);
  a.gain.SetValue(1.0);
  for (auto& amp : a.amp) amp.SetValue(0.5);
  Settle(a);
  Run(state, a);
}

// The densest grain stream from a stereo file: 2000 grains a second, twenty
// always sounding, transposed up and down.
void BM_ProcessorBubbleBlowerDensest(benchmark::State& state) {
  const std::string name = "/tmp/tonegarden-bench-bubbles.wav";
  {
    std::vector<int16_t> samples(2 * 441000);
    for (size_t k = 0; k < samples.size(); ++k) {
      samples[k] = static_cast<int16_t>(12000.0 * std::sin(0.01 * static_cast<double>(k)));
    }
    TGWaveOutFile file(name, 44100, 2, true);
    file.Write(samples.data(), static_cast<uint32_t>(samples.size() / 2));
  }
  SoundLoader loader;  // outlives the context, which owns the processor
  QSDynSigContext context;
  auto* b = new TGBubbleBlower(&context, loader);
  b->file.SetValue(name);
  loader.WaitUntilIdle();
  b->density.SetValue(2000.0);
  b->maxGrains.SetValue(TGBubbleBlower::kVoices);
  b->grainDuration.SetValue(FloatRange{200.0f, 500.0f});
  b->pitchScaler.SetValue(FloatRange{0.5f, 2.0f});
  b->inskip.SetValue(FloatRange{0.0f, 9000.0f});
  Settle(*b);
  Run(state, *b);
}

void BM_ProcessorSDelayMono(benchmark::State& state) {
  QSDynSigContext context;
  auto& delay = Place<TGSDelay>(context, 1);
  delay.leftDelay.SetValue(300);
  delay.rightDelay.SetValue(320);
  delay.feedback.SetValue(0.5);
  Settle(delay);
  Run(state, delay);
}

void BM_ProcessorSDelayStereo(benchmark::State& state) {
  QSDynSigContext context;
  auto& delay = Place<TGSDelay>(context, 2);
  delay.leftDelay.SetValue(300);
  delay.rightDelay.SetValue(320);
  delay.feedback.SetValue(0.5);
  delay.wetDryMix.SetValue(0.7);
  Settle(delay);
  Run(state, delay);
}

TGS8Mixer& S8Mixer(QSDynSigContext& context) {
  auto& mixer = Place<TGS8Mixer>(context, 16);
  mixer.masterGain.SetValue(1.0);
  for (int i = 0; i < 8; ++i) mixer.gainProperty(i).SetValue(0.25);
  return mixer;
}

void BM_ProcessorS8MixerSettled(benchmark::State& state) {
  QSDynSigContext context;
  auto& mixer = S8Mixer(context);
  Settle(mixer);
  Run(state, mixer);
}

// Every channel's gain changes before every block, so every ramp is always moving.
void BM_ProcessorS8MixerRamping(benchmark::State& state) {
  QSDynSigContext context;
  auto& mixer = S8Mixer(context);
  Settle(mixer);
  bool up = false;
  for (auto _ : state) {
    up = !up;
    for (int i = 0; i < 8; ++i) mixer.gainProperty(i).SetValue(up ? 0.5 : 0.25);
    mixer.Process();
    benchmark::ClobberMemory();
  }
}

void BM_ProcessorP4MixerSettled(benchmark::State& state) {
  QSDynSigContext context;
  auto& mixer = Place<TGP4Mixer>(context, 4);
  mixer.masterGain.SetValue(1.0);
  for (int i = 0; i < 4; ++i) {
    mixer.gainProperty(i).SetValue(0.5);
    mixer.panProperty(i).SetValue(0.2 * i);
  }
  Settle(mixer);
  Run(state, mixer);
}

// What the engine does with SoundOut's block: 16-bit interleaved, with peaks.
void BM_ProcessorOutput16(benchmark::State& state) {
  alignas(64) std::array<float, kBlockSize> left{};
  alignas(64) std::array<float, kBlockSize> right{};
  QSNoiseSource noise(5, -1.2, 2.4);  // a few samples clip
  noise.Fill(left.data());
  noise.Fill(right.data());
  alignas(64) std::array<int16_t, 2 * kBlockSize> out{};
  for (auto _ : state) {
    const Peaks16 peaks = ToSamples16(left.data(), right.data(), out.data(), kBlockSize);
    benchmark::DoNotOptimize(peaks);
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_ProcessorTestGenSine);
BENCHMARK(BM_ProcessorTestGenNoise);
BENCHMARK(BM_ProcessorDLGranulatorDensest);
BENCHMARK(BM_ProcessorAdditive10AllPartials);
BENCHMARK(BM_ProcessorBubbleBlowerDensest);
BENCHMARK(BM_ProcessorSDelayMono);
BENCHMARK(BM_ProcessorSDelayStereo);
BENCHMARK(BM_ProcessorS8MixerSettled);
BENCHMARK(BM_ProcessorS8MixerRamping);
BENCHMARK(BM_ProcessorP4MixerSettled);
BENCHMARK(BM_ProcessorOutput16);

}  // namespace
}  // namespace tg
