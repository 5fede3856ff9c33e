#include "engine/midi/MidiClockFollower.h"

#include <cmath>

namespace tg {

void MidiClockFollower::Start() {
  running_ = true;
  anchored_ = false;
  nextTick_ = 0;
}

void MidiClockFollower::Continue() {
  running_ = true;
  anchored_ = false;
}

void MidiClockFollower::SongPosition(int sixteenths) {
  nextTick_ = static_cast<int64_t>(sixteenths) * 6;
  anchored_ = false;
}

void MidiClockFollower::ForgetFrames() {
  anchored_ = false;
  anyClock_ = false;
  fitted_ = 0;
  ringStart_ = 0;
}

void MidiClockFollower::Clock(int64_t frame) {
  if (anyClock_) {
    const auto interval = static_cast<double>(frame - lastFrame_);
    // After a gap, or a clock far off the line (the output ran dry and its
    // frames moved, or the tempo leapt), the line starts again from here.
    if (frame - lastFrame_ > kLostFrames || frame < lastFrame_ ||
        (HasTempo() && std::abs(interval - framesPerClock_) > kLeap * framesPerClock_)) {
      fitted_ = 0;
      ringStart_ = 0;
    }
  }
  anyClock_ = true;
  lastFrame_ = frame;
  if (fitted_ < kFitClocks) {
    frames_[static_cast<size_t>((ringStart_ + fitted_) % kFitClocks)] = frame;
    ++fitted_;
  } else {
    frames_[static_cast<size_t>(ringStart_)] = frame;
    ringStart_ = (ringStart_ + 1) % kFitClocks;
  }
  Fit();
  if (!running_) return;
  lastTick_ = nextTick_++;
  anchored_ = true;
}

void MidiClockFollower::Fit() {
  if (fitted_ < 2) return;
  // Slope of frame over clock index; frames taken from the oldest so the
  // sums stay small and exact in a double.
  const int64_t origin = frames_[static_cast<size_t>(ringStart_)];
  const double n = fitted_;
  const double meanIndex = (n - 1.0) / 2.0;
  double meanFrame = 0.0;
  for (int i = 0; i < fitted_; ++i)
    meanFrame +=
        static_cast<double>(frames_[static_cast<size_t>((ringStart_ + i) % kFitClocks)] - origin);
  meanFrame /= n;
  double covariance = 0.0;
  double variance = 0.0;
  for (int i = 0; i < fitted_; ++i) {
    const double di = i - meanIndex;
    const double f =
        static_cast<double>(frames_[static_cast<size_t>((ringStart_ + i) % kFitClocks)] - origin);
    covariance += di * (f - meanFrame);
    variance += di * di;
  }
  if (covariance > 0.0) framesPerClock_ = covariance / variance;
}

double MidiClockFollower::PositionAt(int64_t frame, double fallbackFramesPerClock) const {
  if (!anchored_) return static_cast<double>(nextTick_);
  const double perClock = HasTempo() ? framesPerClock_ : fallbackFramesPerClock;
  return static_cast<double>(lastTick_) + static_cast<double>(frame - lastFrame_) / perClock;
}

}  // namespace tg
