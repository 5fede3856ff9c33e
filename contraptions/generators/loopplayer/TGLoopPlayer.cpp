#include "contraptions/generators/loopplayer/TGLoopPlayer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "files/SoundFilePaths.h"
#include "graph/QSDynSigContext.h"

namespace tg {

namespace {

// Clock positions beyond this are nonsense; the loop stays silent there.
constexpr double kLargestLoopPosition = 1e12;

}  // namespace

TGLoopPlayer::TGLoopPlayer(QSDynSigContext* context, SoundLoader& loader)
    : QSSignalProcessor(context, 0, 2), sound_(SoundConversion::Frames(kMaxFrames), loader) {
  SetOutletSignal(0, &left_);
  SetOutletSignal(1, &right_);
  sound_.Follow(file);
}

std::string TGLoopPlayer::ReadProblem() const {
  const std::string note = SoundData::CutNote(ResolveSoundFile(file.Value()), kMaxFrames);
  return note.empty() ? std::string() : "File: \"" + MakeRelativePath(file.Value()) + "\" " + note;
}

QSPropertyTable* TGLoopPlayer::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    add(file, "File");
    add(barCount, "BarCount", QSAbstractUnits::Get(), 1, kMaxBars);
    add(stretch, "Stretch");
    add(phase, "Phase", QSAbstractUnits::Get(), -kMaxPhase, kMaxPhase);
    add(mute, "Mute");
  });
}

void TGLoopPlayer::Process() {
  const SoundData* sound = sound_.Acquire();
  left_.Fill(0.0f);
  right_.Fill(0.0f);
  if (Context() == nullptr) return;
  const TempoClock& clock = Context()->Clock();
  const double position = clock.Position();
  const double samplesPerTick = clock.SamplesPerClock();
  const bool clockUsable = std::isfinite(samplesPerTick) && samplesPerTick >= 1.0 &&
                           std::isfinite(position) && std::fabs(position) <= kLargestLoopPosition;

  // A mute change waits for a bar line: from the first sample at or after
  // it, the loop sounds or not.
  bool before = playing_;
  int switchAt = kBlockSize;
  if (clockUsable) {
    const double nextTick = std::ceil(position);
    const double toNextTick = (nextTick - position) * samplesPerTick;
    const bool barLineHere =
        toNextTick < kBlockSize && std::fmod(nextTick, static_cast<double>(kTicksPerBar)) == 0.0;
    if (barLineHere && mute.IsChanged()) {
      mute.TakeChanged();
      playing_ = !mute.Value();
      switchAt = std::min(static_cast<int>(std::ceil(toNextTick)), kBlockSize);
    }
  }
  const bool haveSound = sound != nullptr && sound->Frames() > 0;
  const bool running = clockUsable && clock.IsRunning() && haveSound;
  before = before && running;
  const bool after = playing_ && running;

  double start = 0.0;
  double loopLength = 0.0;
  if (running) {
    // Where the block starts in the loop, from the clock itself every block,
    // so the loop never drifts from the tempo. Phase moves the loop's start
    // against the bar line.
    const int bars = std::clamp<int32_t>(barCount.Value(), 1, kMaxBars);
    const int steps = std::clamp<int32_t>(phase.Value(), -kMaxPhase, kMaxPhase);
    const double loopTicks = static_cast<double>(kTicksPerBar) * bars;
    double ticks = std::fmod(position + static_cast<double>(steps) * kTicksPerStep, loopTicks);
    if (ticks < 0.0) ticks += loopTicks;
    loopLength = loopTicks * samplesPerTick;
    start = ticks * samplesPerTick;
    if (start >= loopLength || start < 0.0) start = 0.0;
  } else if (fade_ > 0.0f && haveSound && heardLength_ > 0.0) {
    // The clock has stopped: the loop plays on from where it was heard
    // while it fades out.
    start = heardNext_;
    loopLength = heardLength_;
  } else {
    fade_ = 0.0f;
    return;
  }
  if (!before && !after && fade_ == 0.0f) return;

  Render(*sound, start, loopLength, 0, kBlockSize);
  heardNext_ = std::fmod(start + kBlockSize, loopLength);
  heardLength_ = loopLength;
  Fade(start, loopLength, before, after, switchAt);
}

void TGLoopPlayer::Fade(double start, double loopLength, bool before, bool after, int switchAt) {
  if (fade_ == 1.0f && before && after) return;  // sounding throughout
  constexpr float kStep = 1.0f / kFadeSamples;
  float* left = left_.Data();
  float* right = right_.Data();
  double at = start;
  for (int i = 0; i < kBlockSize; ++i, at += 1.0) {
    if (at >= loopLength) at -= loopLength;
    if (i < switchAt ? before : after) {
      // A loop that starts from its beginning starts with the file's first
      // frame, as it was made; anywhere else it fades in.
      fade_ = fade_ == 0.0f && at < 1.0 ? 1.0f : std::min(fade_ + kStep, 1.0f);
    } else {
      fade_ = std::max(fade_ - kStep, 0.0f);
    }
    left[i] *= fade_;
    right[i] *= fade_;
  }
}

void TGLoopPlayer::Render(const SoundData& sound, double start, double loopLength, int from,
                          int to) {
  if (from >= to) return;
  const int32_t frames = sound.Frames();
  const auto framesD = static_cast<double>(frames);
  const bool stretched = stretch.Value();
  // The data is at the program's rate already: unstretched, a frame a sample.
  const double rate = stretched ? framesD / loopLength : 1.0;
  const bool stereo = sound.Channels() == 2;
  const float* s = sound.Samples();
  float* left = left_.Data();
  float* right = right_.Data();

  double at = start + from;
  while (at >= loopLength) at -= loopLength;
  for (int i = from; i < to; ++i, at += 1.0) {
    if (at >= loopLength) at -= loopLength;
    const double x = at * rate;
    // Past the file's end: silence until the loop starts again (stretched,
    // only rounding reaches the end, and then the first frame plays).
    if (!stretched && x >= framesD) continue;
    const int32_t k = std::min(static_cast<int32_t>(x), frames - 1);
    const auto f = static_cast<float>(std::min(x - k, 1.0));
    // The last frame leads into the first, as the loop comes round.
    const int32_t next = k + 1 < frames ? k + 1 : 0;
    if (stereo) {
      const float* a = s + 2 * static_cast<ptrdiff_t>(k);
      const float* b = s + 2 * static_cast<ptrdiff_t>(next);
      left[i] = a[0] + (b[0] - a[0]) * f;
      right[i] = a[1] + (b[1] - a[1]) * f;
    } else {
      const float a = s[k];
      const float v = a + (s[next] - a) * f;
      left[i] = v;
      right[i] = v;
    }
  }
}

}  // namespace tg
