#pragma once

#include <array>
#include <cstdint>

namespace tg {

// Follows a MIDI clock (24 clocks a beat) given the frame each message came
// at. The tempo is a least-squares line through the frames of the last
// clocks: quantised or jittery arrivals average out, and a change of tempo
// is taken up within the line's length without overshooting it. The
// position counts clocks since Start (or from a song position), the first
// clock after Start marking tick 0, and runs on between clocks at the
// estimated tempo. It never allocates; the audio thread owns it.
class MidiClockFollower {
 public:
  // Two beats: a step of tempo is taken up within half a bar.
  static constexpr int kFitClocks = 48;
  // Clocks further apart than this break the line (the clock was lost).
  static constexpr int64_t kLostFrames = 22050;  // 0.5 s at 44100
  // A clock further than this share of a clock off the line starts it anew.
  static constexpr double kLeap = 0.25;

  void Start();
  void Stop() { running_ = false; }
  void Continue();
  void SongPosition(int sixteenths);
  // The frames counted from 0 again (audio out started anew): the clocks
  // heard before say nothing of the new frames. Running and the count stay.
  void ForgetFrames();
  // A clock at that frame. Counted only while running.
  void Clock(int64_t frame);

  // Started or continued, and not stopped since.
  bool Running() const { return running_; }
  // A clock came since Start or Continue: the position is anchored.
  bool Anchored() const { return anchored_; }
  bool HasTempo() const { return fitted_ >= 2; }
  // Frames per clock of the line (valid with HasTempo).
  double FramesPerClock() const { return framesPerClock_; }
  int64_t LastClockFrame() const { return lastFrame_; }
  // The position, in ticks, that the next clock will mark.
  int64_t NextTick() const { return nextTick_; }
  // The position at a frame, running on from the last clock at the
  // estimated tempo (or at fallback frames per clock before there is one).
  double PositionAt(int64_t frame, double fallbackFramesPerClock) const;

 private:
  void Fit();

  bool running_ = false;
  bool anchored_ = false;
  int64_t nextTick_ = 0;
  int64_t lastTick_ = 0;
  int64_t lastFrame_ = 0;
  bool anyClock_ = false;
  // The last clocks' frames, oldest first from ringStart_.
  std::array<int64_t, kFitClocks> frames_{};
  int ringStart_ = 0;
  int fitted_ = 0;
  double framesPerClock_ = 0.0;
};

}  // namespace tg
