#include "tools/drumkit/DrumKit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "tools/drumkit/Synthesis.h"

namespace tg {

namespace {

using drumkit::Biquad;
using drumkit::Decay;
using drumkit::FramesIn;
using drumkit::kSampleRate;
using drumkit::Sweep;
using drumkit::TimeOf;
using drumkit::WhiteNoise;

// What every sound gets last: no DC (a gentle high-pass well below any
// drum), a fade-in short enough to keep the attack, a fade to exactly zero
// so the end never clicks, and the kit's peak level.
void Finish(std::vector<double>& s, double fadeInSeconds, double fadeOutSeconds) {
  Biquad dc = Biquad::HighPass(20.0, std::numbers::sqrt2 / 2);
  for (double& x : s) x = dc.Tick(x);

  const size_t in = std::min(s.size(), FramesIn(fadeInSeconds));
  for (size_t k = 0; k < in; ++k)
    s[k] *= 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(k) / in);

  const size_t out = std::min(s.size(), FramesIn(fadeOutSeconds));
  const size_t outStart = s.size() - out;
  for (size_t k = 0; k < out; ++k) {
    const double last = out > 1 ? static_cast<double>(out - 1) : 1.0;
    s[outStart + k] *= 0.5 + 0.5 * std::cos(std::numbers::pi * static_cast<double>(k) / last);
  }

  double peak = 0.0;
  for (double x : s) peak = std::max(peak, std::abs(x));
  if (peak > 0.0)
    for (double& x : s) x *= drumkit::kPeak / peak;
}

// A sine falling fast from 150 to 45 Hz, rounded off a little, with a short
// click of high noise on top for the beater.
std::vector<double> Kick() {
  std::vector<double> s(FramesIn(0.6));
  WhiteNoise noise(0x4B1C);
  Biquad beater = Biquad::HighPass(2000.0, 0.7);
  Sweep body;
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = TimeOf(i);
    const double hz =
        drumkit::kKickEndHz + (drumkit::kKickStartHz - drumkit::kKickEndHz) * Decay(t, 0.03);
    const double thump = std::tanh(1.3 * body.Next(hz) * Decay(t, 0.2));
    const double click = beater.Tick(noise.Next()) * Decay(t, 0.0012);
    s[i] = thump + 0.5 * click;
  }
  Finish(s, 0.0003, 0.1);
  return s;
}

// The shell's tone (a quick fall onto its pitch, with a weaker overtone)
// under the wires' noise, which lasts longer than the tone.
std::vector<double> Snare() {
  std::vector<double> s(FramesIn(0.45));
  WhiteNoise noise(0x5A4E);
  Biquad wires = Biquad::HighPass(1200.0, 0.7);
  Biquad sizzle = Biquad::BandPass(5000.0, 0.9);
  Sweep shell, overtone;
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = TimeOf(i);
    const double hz = drumkit::kSnareToneHz * (1.0 + 0.12 * Decay(t, 0.008));
    const double tone =
        0.8 * shell.Next(hz) * Decay(t, 0.07) + 0.25 * overtone.Next(1.6 * hz) * Decay(t, 0.03);
    const double n = noise.Next();
    const double rattle = (0.7 * wires.Tick(n) + 0.5 * sizzle.Tick(n)) * Decay(t, 0.14);
    s[i] = tone + 0.8 * rattle;
  }
  Finish(s, 0.0003, 0.12);
  return s;
}

// Noise and a cluster of square waves at unrelated pitches (the metal),
// high-passed hard and cut off by a decay.
std::vector<double> HiHat(double seconds, double decaySeconds, double fadeSeconds, int32_t seed) {
  static constexpr std::array<double, 6> kMetal = {317.0, 433.0, 577.0, 691.0, 829.0, 1031.0};
  std::vector<double> s(FramesIn(seconds));
  WhiteNoise noise(seed);
  Biquad low1 = Biquad::HighPass(7000.0, 0.7);
  Biquad low2 = Biquad::HighPass(7000.0, 0.7);
  Biquad shine = Biquad::BandPass(10000.0, 1.5);
  std::array<double, kMetal.size()> phases{};
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = TimeOf(i);
    double metal = 0.0;
    for (size_t k = 0; k < kMetal.size(); ++k) {
      phases[k] += kMetal[k] / kSampleRate;
      if (phases[k] >= 1.0) phases[k] -= 1.0;
      metal += phases[k] < 0.5 ? 1.0 : -1.0;
    }
    const double x = 0.55 * noise.Next() + 0.45 * metal / kMetal.size();
    const double y = low2.Tick(low1.Tick(x));
    s[i] = (y + 0.5 * shine.Tick(y)) * Decay(t, decaySeconds);
  }
  Finish(s, 0.0002, fadeSeconds);
  return s;
}

// Four hands a few milliseconds apart, then the room: noise band-passed
// around 1.3 kHz.
std::vector<double> Clap() {
  static constexpr std::array<double, 4> kHands = {0.0, 0.011, 0.021, 0.032};
  std::vector<double> s(FramesIn(0.5));
  WhiteNoise noise(0xC1A9);
  Biquad band = Biquad::BandPass(1300.0, 1.4);
  Biquad air = Biquad::BandPass(2200.0, 2.0);
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = TimeOf(i);
    double envelope = 0.0;
    for (double start : kHands)
      if (t >= start) envelope += Decay(t - start, 0.0035);
    if (t >= kHands.back()) envelope += 0.75 * Decay(t - kHands.back(), 0.1);
    const double n = noise.Next();
    s[i] = (band.Tick(n) + 0.3 * air.Tick(n)) * envelope;
  }
  Finish(s, 0.0002, 0.15);
  return s;
}

// A high, quickly damped ring over a lower knock, and a very short click.
std::vector<double> Rim() {
  std::vector<double> s(FramesIn(0.09));
  WhiteNoise noise(0x0219);
  Biquad edge = Biquad::HighPass(3000.0, 0.7);
  Sweep ring, knock;
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = TimeOf(i);
    const double tone =
        0.7 * ring.Next(1720.0) * Decay(t, 0.01) + 0.3 * knock.Next(470.0) * Decay(t, 0.006);
    s[i] = tone + 0.8 * edge.Tick(noise.Next()) * Decay(t, 0.0008);
  }
  Finish(s, 0.0001, 0.04);
  return s;
}

}  // namespace

std::vector<DrumSound> MakeDrumKit() {
  std::vector<DrumSound> kit;
  kit.push_back({"kick.wav", Kick()});
  kit.push_back({"snare.wav", Snare()});
  kit.push_back({"hihat-closed.wav", HiHat(0.075, 0.012, 0.025, 0x4A7C)});
  kit.push_back({"hihat-open.wav", HiHat(0.4, 0.11, 0.12, 0x4A70)});
  kit.push_back({"clap.wav", Clap()});
  kit.push_back({"rim.wav", Rim()});
  return kit;
}

}  // namespace tg
