#pragma once

#include <chrono>
#include <string>

namespace tg {

class TAudioEngineModule;
class TGDocument;

// The program without its window, for a stage rig: plays a document live
// through the engine's streams, reopens it on demand and says where it is.
// The caller owns the engine, the patch and the document. Main thread.
class LivePlayer {
 public:
  using Clock = std::chrono::steady_clock;

  LivePlayer(TAudioEngineModule& engine, TGDocument& document)
      : engine_(engine), document_(document) {}

  // Reads the document; false (the reader said why) when it is none.
  bool Open(const std::string& fileName);
  // Starts audio out, audio in where SoundIn takes the sound card's input,
  // and the clock unless withClock is false. Empty when all started;
  // otherwise the device's problem, and nothing runs.
  std::string Start(bool withClock);
  // Starts a take on SoundOut's file, as its Record button does; false when
  // SoundOut has no file it can record to.
  bool Record();
  // Stops as the program's Stop does: the output fades out; takes end.
  void Stop();
  // Takes up the document again from its file (a changed file, on SIGHUP)
  // and goes on playing as before. Not read when it can no longer be read:
  // the patch then plays on as it was, unless the device would not start
  // again (its problem said), and then nothing plays.
  struct Reloaded {
    bool read = false;
    std::string deviceProblem;
  };
  Reloaded Reload();

  // Seconds of clock since the start (of audio, without the clock).
  double SecondsPlayed(Clock::time_point now) const;
  // "bar:beat  tempo  CPU load %  overloads", as the status bar shows them,
  // and "Link: N peers" in a Link session.
  std::string StatusLine();

 private:
  TAudioEngineModule& engine_;
  TGDocument& document_;
  bool withClock_ = true;
  Clock::time_point started_{};
};

}  // namespace tg
