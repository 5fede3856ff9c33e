#include "tools/drumkit/Loops.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string_view>
#include <utility>

#include "dsp/NoteNumbers.h"
#include "tools/drumkit/Synthesis.h"

namespace tg {

namespace {

using drumkit::Biquad;
using drumkit::Decay;
using drumkit::FramesIn;
using drumkit::kSampleRate;
using drumkit::StepFrame;
using drumkit::TimeOf;
using drumkit::WhiteNoise;

// A rise from exactly 0 at i = 0 to exactly 1 from i = frames on, or the
// same fall when falling.
double RaisedCosine(size_t i, size_t frames, bool falling = false) {
  if (frames == 0 || i >= frames) return falling ? 0.0 : 1.0;
  const double x = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) / frames);
  return falling ? 1.0 - x : x;
}

// A loop's channels while it is mixed. Everything is added around the
// circle: a tail that would cross the end goes on from the start, just as
// it is heard when the loop repeats.
class Tape {
 public:
  Tape(int bars, int channels)
      : channels_(static_cast<size_t>(channels),
                  std::vector<double>(drumkit::kBarFrames * static_cast<size_t>(bars))) {}

  size_t Frames() const { return channels_[0].size(); }

  void AddTo(size_t channel, const std::vector<double>& sound, size_t at, double gain) {
    std::vector<double>& c = channels_[channel];
    for (size_t i = 0; i < sound.size(); ++i) c[(at + i) % c.size()] += gain * sound[i];
  }
  // pan -1 is left, +1 right, at equal power; a mono tape ignores it.
  void Add(const std::vector<double>& sound, size_t at, double gain, double pan = 0.0) {
    if (channels_.size() == 1) {
      AddTo(0, sound, at, gain);
      return;
    }
    const double angle = (pan + 1.0) * std::numbers::pi / 4.0;
    AddTo(0, sound, at, gain * std::cos(angle));
    AddTo(1, sound, at, gain * std::sin(angle));
  }

  // No DC, at the kit's peak, channels interleaved.
  LoopSound Finish(std::string fileName, std::vector<int> hitSteps) {
    for (std::vector<double>& c : channels_) RemoveDc(c);
    double peak = 0.0;
    for (const std::vector<double>& c : channels_)
      for (double x : c) peak = std::max(peak, std::abs(x));
    const double gain = peak > 0.0 ? drumkit::kPeak / peak : 0.0;

    LoopSound loop;
    loop.fileName = std::move(fileName);
    loop.channels = static_cast<int>(channels_.size());
    loop.hitSteps = std::move(hitSteps);
    loop.samples.reserve(Frames() * channels_.size());
    for (size_t i = 0; i < Frames(); ++i)
      for (const std::vector<double>& c : channels_) loop.samples.push_back(gain * c[i]);
    return loop;
  }

 private:
  // The kit's gentle high-pass, run round the loop twice and kept from the
  // second time: by then it has settled to how it filters the loop
  // repeating, so the end still joins the start.
  static void RemoveDc(std::vector<double>& c) {
    Biquad dc = Biquad::HighPass(20.0, std::numbers::sqrt2 / 2);
    for (double x : c) dc.Tick(x);
    for (double& x : c) x = dc.Tick(x);
  }

  std::vector<std::vector<double>> channels_;
};

// --- Drums -----------------------------------------------------------------

// One sound's part in a groove: a character per sixteenth, '.' a rest and
// a digit from 1 to 9 how hard it is hit.
struct Part {
  std::string_view sound;
  std::string_view steps;
  double pan = 0.0;
};

const std::vector<double>& SoundOf(const std::vector<DrumSound>& kit, std::string_view name) {
  static const std::vector<double> kNone;
  for (const DrumSound& sound : kit)
    if (sound.fileName == name) return sound.samples;
  return kNone;
}

// Adds the parts to the tape; answers the steps on which something starts.
std::vector<int> Play(Tape& tape, const std::vector<DrumSound>& kit,
                      const std::vector<Part>& parts) {
  std::vector<int> hits;
  for (const Part& part : parts) {
    const std::vector<double>& sound = SoundOf(kit, part.sound);
    for (size_t k = 0; k < part.steps.size(); ++k) {
      const char c = part.steps[k];
      if (c < '1' || c > '9') continue;
      const int step = static_cast<int>(k);
      tape.Add(sound, StepFrame(step), (c - '0') / 9.0, part.pan);
      hits.push_back(step);
    }
  }
  std::sort(hits.begin(), hits.end());
  hits.erase(std::unique(hits.begin(), hits.end()), hits.end());
  return hits;
}

LoopSound Groove(const std::vector<DrumSound>& kit, std::string fileName, int bars,
                 const std::vector<Part>& parts) {
  Tape tape(bars, 2);
  std::vector<int> hits = Play(tape, kit, parts);
  return tape.Finish(std::move(fileName), std::move(hits));
}

// The hats a little apart, the closed one right of the middle, the open one left.
constexpr double kClosedHatPan = 0.3;
constexpr double kOpenHatPan = -0.25;

LoopSound OneBarDrums(const std::vector<DrumSound>& kit) {
  return Groove(kit, "loop-drums-1bar.wav", 1,
                {
                    {"kick.wav", "9.......9.7....."},
                    {"snare.wav", "....8..2....8..2"},
                    {"clap.wav", "....3.......3..."},
                    {"hihat-closed.wav", "4.3.4.3.4.3.43.2", kClosedHatPan},
                    {"hihat-open.wav", "..............3.", kOpenHatPan},
                });
}

// The same bar, then one that ends in a snare roll.
LoopSound TwoBarDrums(const std::vector<DrumSound>& kit) {
  return Groove(kit, "loop-drums-2bar.wav", 2,
                {
                    {"kick.wav", "9.......9.7.....9.....5.9.7...7."},
                    {"snare.wav", "....8..2....8..2....8.....3.6789"},
                    {"clap.wav", "....3.......3.......3.......6..."},
                    {"rim.wav", "...........................4...."},
                    {"hihat-closed.wav", "4.3.4.3.4.3.43.24.3.4.3.4.3.....", kClosedHatPan},
                    {"hihat-open.wav", "..............3.......3.........", kOpenHatPan},
                });
}

// A shaker: a burst of high noise that swells for a few milliseconds
// (the grains hitting the wall) and dies away.
std::vector<double> Shake(WhiteNoise& noise) {
  const double swell = 0.007;
  std::vector<double> s(FramesIn(0.09));
  const size_t fade = FramesIn(0.02);
  Biquad grit = Biquad::HighPass(4500.0, 0.7);
  Biquad shine = Biquad::BandPass(8000.0, 0.9);
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = TimeOf(i);
    const double envelope = t < swell ? t / swell : Decay(t - swell, 0.02);
    const double x = grit.Tick(noise.Next());
    s[i] = (x + 0.6 * shine.Tick(x)) * envelope;
    if (i >= s.size() - fade) s[i] *= RaisedCosine(i - (s.size() - fade), fade, true);
  }
  return s;
}

LoopSound Percussion(const std::vector<DrumSound>& kit) {
  Tape tape(1, 1);
  std::vector<int> hits = Play(tape, kit,
                               {
                                   {"rim.wav", "7..6..7...6..6.."},
                                   {"clap.wav", "....6.......6..."},
                               });
  // The shaker on every sixteenth, quietest on the beat; each shake has
  // noise of its own.
  static constexpr std::string_view kShaker = "2435243524352436";
  WhiteNoise noise(0x5AA4);
  for (size_t k = 0; k < kShaker.size(); ++k) {
    tape.Add(Shake(noise), StepFrame(static_cast<int>(k)), 0.13 * (kShaker[k] - '0'));
    hits.push_back(static_cast<int>(k));
  }
  std::sort(hits.begin(), hits.end());
  hits.erase(std::unique(hits.begin(), hits.end()), hits.end());
  return tape.Finish("loop-perc-1bar.wav", std::move(hits));
}

// --- Pitched voices --------------------------------------------------------

// A saw with its steps smoothed (polyBLEP), so the high harmonics do not
// fold back.
class Saw {
 public:
  explicit Saw(double phase = 0.0) : phase_(phase) {}
  double Next(double hz) {
    const double dt = hz / kSampleRate;
    const double y = 2.0 * phase_ - 1.0 - Blep(phase_, dt);
    phase_ += dt;
    if (phase_ >= 1.0) phase_ -= 1.0;
    return y;
  }

 private:
  static double Blep(double t, double dt) {
    if (t < dt) {
      t /= dt;
      return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
      t = (t - 1.0) / dt;
      return t * t + t + t + 1.0;
    }
    return 0.0;
  }

  double phase_;
};

// A resonant low-pass (the trapezoidal state-variable form) that stays well
// behaved while its cutoff moves from sample to sample.
class SweptLowPass {
 public:
  explicit SweptLowPass(double q) : damping_(1.0 / q) {}
  double Tick(double x, double hz) {
    const double g = std::tan(std::numbers::pi * std::min(hz, 0.45 * kSampleRate) / kSampleRate);
    const double a1 = 1.0 / (1.0 + g * (g + damping_));
    const double a2 = g * a1;
    const double a3 = g * a2;
    const double v3 = x - ic2_;
    const double v1 = a1 * ic1_ + a2 * v3;
    const double v2 = ic2_ + a2 * ic1_ + a3 * v3;
    ic1_ = 2.0 * v1 - ic1_;
    ic2_ = 2.0 * v2 - ic2_;
    return v2;
  }

 private:
  double damping_;
  double ic1_ = 0.0, ic2_ = 0.0;
};

// One note of a line: where it starts, its key, and for how many sixteenths.
struct Note {
  int step;
  int key;
  int steps;
  bool accent = false;
};

// A saw through a resonant low-pass that snaps open at the note's start and
// closes again; a short fade in, and out once the key is let go.
std::vector<double> BassNote(const Note& note) {
  const size_t gate = StepFrame(note.step + note.steps) - StepFrame(note.step) - FramesIn(0.012);
  const size_t attack = FramesIn(0.002);
  const size_t release = FramesIn(0.02);
  const double hz = KeyFrequency(note.key);
  const double sweep = note.accent ? 2600.0 : 1400.0;
  std::vector<double> s(gate + release);
  Saw saw;
  SweptLowPass filter(2.2);
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = TimeOf(i);
    const double cutoff = 2.0 * hz + sweep * Decay(t, 0.08);
    const double level = (0.75 + 0.25 * Decay(t, 0.25)) * RaisedCosine(i, attack) *
                         (i < gate ? 1.0 : RaisedCosine(i - gate, release, true));
    s[i] = std::tanh(1.6 * filter.Tick(saw.Next(hz), cutoff)) * level;
  }
  return s;
}

// A minor: the first bar round A and C, the second from F up to G, which
// leads back round to the A.
LoopSound Bass() {
  static constexpr std::array<Note, 15> kLine = {{
      {0, 33, 3, true},
      {3, 33, 1},
      {6, 45, 1, true},
      {8, 36, 2},
      {10, 33, 2},
      {12, 43, 1},
      {14, 40, 2},
      {16, 29, 3, true},
      {19, 29, 1},
      {22, 41, 1, true},
      {24, 31, 2, true},
      {26, 31, 1},
      {27, 38, 1},
      {28, 43, 2, true},
      {30, 38, 2},
  }};
  Tape tape(2, 1);
  for (const Note& note : kLine)
    tape.AddTo(0, BassNote(note), StepFrame(note.step), note.accent ? 1.0 : 0.8);
  return tape.Finish("loop-bass-2bar.wav", {});
}

// Half a bar of one chord: for each key a saw in tune in the middle and a
// flat and a sharp one, mostly left and mostly right; darkened and
// faded slowly in and out. The release goes on past the half bar into the
// next chord.
void AddChord(Tape& tape, int step, const std::array<int, 3>& keys, WhiteNoise& phases) {
  static constexpr double kCents = 9.0;
  const size_t gate = StepFrame(step + 8) - StepFrame(step);
  const size_t attack = FramesIn(0.15);
  const size_t release = FramesIn(0.35);
  std::array<std::vector<double>, 2> sides;
  for (std::vector<double>& side : sides) side.assign(gate + release, 0.0);
  for (int key : keys) {
    const double hz = KeyFrequency(key);
    const double flat = hz * std::exp2(-kCents / 1200.0);
    const double sharp = hz * std::exp2(kCents / 1200.0);
    // Start phases apart, so the saws never all jump at once.
    Saw left(0.5 + 0.5 * phases.Next()), right(0.5 + 0.5 * phases.Next());
    Saw middle(0.5 + 0.5 * phases.Next());
    for (size_t i = 0; i < gate + release; ++i) {
      const double m = middle.Next(hz);
      const double l = left.Next(flat);
      const double r = right.Next(sharp);
      sides[0][i] += m + 0.7 * l + 0.3 * r;
      sides[1][i] += m + 0.7 * r + 0.3 * l;
    }
  }
  for (size_t c = 0; c < sides.size(); ++c) {
    SweptLowPass soft(0.6);
    std::vector<double>& side = sides[c];
    for (size_t i = 0; i < side.size(); ++i) {
      const double level =
          RaisedCosine(i, attack) * (i < gate ? 1.0 : RaisedCosine(i - gate, release, true));
      side[i] = soft.Tick(side[i], 900.0 + 500.0 * level) * level;
    }
    tape.AddTo(c, side, StepFrame(step), 1.0);
  }
}

// A minor, C, F and G, half a bar each.
LoopSound Chords() {
  Tape tape(2, 2);
  WhiteNoise phases(0xC40D);
  AddChord(tape, 0, {57, 60, 64}, phases);
  AddChord(tape, 8, {55, 60, 64}, phases);
  AddChord(tape, 16, {53, 57, 60}, phases);
  AddChord(tape, 24, {55, 59, 62}, phases);
  return tape.Finish("loop-chords-2bar.wav", {});
}

}  // namespace

std::vector<LoopSound> MakeLoops(const std::vector<DrumSound>& kit) {
  std::vector<LoopSound> loops;
  loops.push_back(OneBarDrums(kit));
  loops.push_back(TwoBarDrums(kit));
  loops.push_back(Bass());
  loops.push_back(Chords());
  loops.push_back(Percussion(kit));
  return loops;
}

}  // namespace tg
