#pragma once

#include <atomic>
#include <cstdint>

#include "base/SpscQueue.h"

namespace tg {

class BlockTimeline;
class LinkSession;
class MidiClockSync;
class TempoClock;

// The tempo clock in an Ableton Link session, live. Our tempo and the
// session's are one: the session's is followed (through MidiClockSync, which
// shows it and holds it to the program's range, as it does a MIDI clock's),
// and the user's tempo is handed to the session. The clock's bar lies on the
// session's bar (the quantum) at the moment each block leaves the output:
// every block's advance is chosen so that it ends where the session will
// stand then. Starting waits for the session's next bar (at once when no
// peer is there); with start/stop sync a session's start or stop starts or
// pauses the clock, and ours start or stop the session. Only live fills come
// here, never the first ones that prime the output on the user-interface
// thread, nor exports or renders. It never blocks or allocates.
class LinkClockSync {
 public:
  // What each live block was made with, for tests and figures.
  struct BlockMark {
    int64_t fillMicros = 0;    // Link's clock when the fill began
    int64_t outputMicros = 0;  // when the block's first frame leaves the output
    double beat = 0.0;         // the clock there
    double sessionBeat = 0.0;  // the session there, as this program sees it
    double tempo = 0.0;        // the session's, as followed
    bool running = false;
  };

  LinkClockSync(TempoClock& clock, MidiClockSync& follow, const BlockTimeline& timeline,
                LinkSession& session)
      : clock_(clock), follow_(follow), timeline_(timeline), session_(session) {}

  // Any thread: whether the session leads the clock (the clock source is
  // Link and the program has joined).
  bool Leads() const;
  // UI thread: the user starts (true) or pauses or stops (false) the clock
  // while the session leads it; the audio thread does it at the right time.
  void Want(bool running) { wanted_.store(running, std::memory_order_relaxed); }
  bool Wanted() const { return wanted_.load(std::memory_order_relaxed); }
  // UI thread, audio out running: the user's tempo, for the session.
  void RequestTempo(double tempo);
  // UI thread, audio out stopped: the session waits for the next start.
  void Stopped();

  // Audio thread, at the start of each live fill (its first frame, its
  // length, and the frames between a fill and its sound leaving the output)
  // and before each of its blocks.
  void BeginFill(int64_t firstFrame, int frameCount, int64_t playoutFrames);
  void BeforeBlock(int64_t blockFirstFrame);

  // Any thread: each live block's mark is kept (for one reader) while on.
  void SetMarking(bool on) { marking_.store(on, std::memory_order_relaxed); }
  bool TakeMark(BlockMark& mark) { return marks_.Pop(mark); }

 private:
  // When the sound of that rendered frame leaves the output, on Link's clock.
  int64_t OutputMicros(int64_t frame) const;
  // The session's first bar at or after that time.
  void WaitForBarAfter(int64_t micros);

  TempoClock& clock_;
  MidiClockSync& follow_;
  const BlockTimeline& timeline_;
  LinkSession& session_;
  std::atomic<bool> wanted_{false};
  std::atomic<double> requestedTempo_{0.0};
  std::atomic<uint32_t> tempoRequests_{0};
  std::atomic<bool> marking_{false};
  SpscQueue<BlockMark, 2048> marks_;  // some twelve seconds of blocks

  // The audio thread's.
  bool live_ = false;
  int64_t linkAtFill_ = 0;  // Link's clock when the fill began
  // When rendered frame 0 left the output, on Link's clock (microseconds).
  // The fills tell it anew each time, a little differently; it moves to
  // what they tell by at most a small share of each fill, so the clock
  // never jumps with it, unless it is far off (the output ran dry).
  double outputBase_ = 0.0;
  bool outputBaseKnown_ = false;
  uint32_t tempoRequestsSeen_ = 0;
  double tempo_ = 0.0;  // the session's, held to the range
  bool held_ = false;
  bool wantSeen_ = false;
  bool sessionPlayingSeen_ = false;
  bool waiting_ = false;
  int64_t startAt_ = 0;
  double startBar_ = 0.0;  // the session's beat there
  bool stopping_ = false;
  int64_t stopAt_ = 0;
  bool aligned_ = false;
  double offsetTicks_ = 0.0;  // the session's ticks less ours, whole bars
};

}  // namespace tg
