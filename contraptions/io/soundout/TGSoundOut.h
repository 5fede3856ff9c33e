#pragma once

#include <atomic>
#include <string>

#include "contraptions/io/soundout/SoundOutFileWorker.h"
#include "dsp/OutputLimiter.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSCStringProperty.h"
#include "properties/QSIntProperty.h"

namespace tg {

class EngineLock;
class TGSoundIn;
struct HostServices;

// The end of the graph: the engine sends its two inputs to the sound card
// after every pass. It can record them to a wave file and play the file back
// in their place; the file work happens on a thread of its own. The engine
// owns the one instance for its whole life.
class TGSoundOut final : public QSSignalProcessor {
 public:
  // kOpening: a file was handed to the worker, which has not answered yet.
  enum State {
    kNoFile = -1,
    kStopped = 0,
    kRecording = 1,
    kRecordPaused = 2,
    kPlaying = 3,
    kOpening = 4
  };
  enum Action { kStop = 0, kPlay = 1, kRecord = 2 };
  enum PunchMode { kManual = 0, kSoundInSync = 1, kTimed = 2 };

  explicit TGSoundOut(QSDynSigContext* context);

  // Audio thread.
  void Process() override;
  // Reads SoundIn's state and hands frames to the file worker.
  bool SharesEngineState() const override { return true; }
  // UI thread: if the output file's name changed, hands the file to the
  // worker (a take or playback in progress ends). A caller holding the engine
  // lock is not kept waiting: the answer comes later. Otherwise the lock is
  // held only for the hand-over, and Reset waits for the answer outside it
  // and tells the user when the file cannot be used (documents, renders).
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;

  // UI thread, not under the engine lock: names the file to record to and
  // play from and hands it to the worker, holding the lock for the hand-over
  // only. Never waits for the disk; the state is kOpening until the answer.
  void ChooseFile(const std::string& name);
  // UI thread, not under the engine lock: waits for the answer about the
  // file named last.
  void WaitForFile();
  // UI thread: why the file named last cannot be used, or why it was lost
  // during a take; empty when it can, while it is opening, or when no file is
  // named.
  std::string FileProblem() const;
  // UI thread: whether the file named last opened but was lost during a take
  // (it could not be emptied for an overwriting take).
  bool FileLost() const;
  // UI thread, not under the engine lock (a message box waits for the user):
  // tells the user the problem, if any.
  void ReportFileProblem(const std::string& problem) const;
  // UI thread: the file the name stands for, resolved like the document's
  // other sound files; a new file goes beside the document.
  std::string OutputPath() const;
  // UI thread: whether path names the file SoundOut records to and plays.
  // Writing another file over it would leave the takes to come in a file no
  // longer on the disk.
  bool HoldsFile(const std::string& path) const;
  // UI thread, audio stopped: ends a take or playback in progress.
  void EndTakeOrPlayback();

  // The SoundIn whose activity the "SoundIn Sync" punch mode follows.
  void SetSoundIn(const TGSoundIn* soundIn) { soundIn_ = soundIn; }
  // Where to tell the user about a file that cannot be used.
  void SetHost(const HostServices* host) { host_ = host; }
  // The lock that keeps the audio thread out while a file is handed over.
  void SetEngineLock(EngineLock* lock) { engineLock_ = lock; }
  // Offline rendering waits for the disk instead of dropping or skipping.
  void SetOffline(bool offline) {
    offline_ = offline;
    worker_.SetOffline(offline);
  }

  // Audio thread: what goes to the sound card this block.
  const QSSignal& OutputLeft() const { return *left_; }
  const QSSignal& OutputRight() const { return *right_; }

  // Any thread: "Limit the output": a peak limiter at -0.3 dBFS before the
  // sound card and the recording (off: the inputs go out as they come).
  void SetLimiting(bool on) { limiting_.store(on, std::memory_order_relaxed); }
  bool Limiting() const { return limiting_.load(std::memory_order_relaxed); }
  // Any thread: the limiter starts its next block at rest, as an export
  // starts from silence.
  void RestLimiter() { restLimiter_.store(true, std::memory_order_release); }
  // What went out since the counts began: samples over full scale, the
  // highest magnitude, the frames the limiter turned down and its lowest gain.
  struct OutputCounts {
    uint64_t clipped = 0;
    float peak = 0.0f;
    uint64_t limited = 0;
    float lowestGain = 1.0f;
  };
  // Any thread.
  OutputCounts Counts() const;
  // Any thread: the counts begin again with the next block, and count that
  // many frames at most (an export's length), or all. A take begins them
  // itself; the engine asks when audio out starts and for an export.
  void RestartCounts(int64_t frames = -1) {
    countLimit_.store(frames, std::memory_order_relaxed);
    restartCounts_.store(true, std::memory_order_release);
  }
  // "3 samples clipped (peak +1.2 dBFS)" and what the limiter did ("" when
  // nothing), for the window, the status bar and the summaries.
  std::string ClipSummary() const;
  std::string LimiterSummary() const;
  // Both, as an export's or a render's summary ends.
  std::string OutputSummary() const;
  // Any thread: the blocks heard with a sample over full scale, ever (an
  // export's are not heard); a change lights the output meter's clip light.
  uint64_t ClippedBlocks() const { return clippedBlocks_.load(std::memory_order_relaxed); }
  // Any thread; takes up the worker's answer about a file handed to it.
  int GetState() {
    TakeUpFileAnswer();
    return state_.load();
  }
  double FilePositionMs() const { return worker_.PositionMs(); }
  double FileLengthMs() const { return worker_.LengthMs(); }
  // UI thread: frames of the current or most recent take that never reached
  // the disk, because it fell behind or refused them (0 again when a take
  // starts).
  uint64_t LostFrames() const { return worker_.LostFrames(); }
  // UI thread: what the user is told about the current or most recent take:
  // empty when all of it reached the disk, else how much was lost and why.
  std::string TakeMessage() const;
  // Any thread: whether the last take is on disk and the start of the file
  // read in, so playing starts at once.
  bool PlaybackReady() const { return worker_.PlaybackReady(); }
  // UI thread: waits until what was recorded so far is on disk.
  void FlushFile() { worker_.Flush(); }
  // The disk side, for tools that watch or hold it.
  SoundOutFileWorker& FileWorker() { return worker_; }

  QSCStringProperty outputFile{QSCStringProperty::SoundFileName{.written = true}};
  QSIntProperty action{kStop};
  QSIntProperty fileMode{0};  // 0 append, 1 overwrite
  QSIntProperty punchMode{kManual};
  QSIntProperty recordDuration{300};  // seconds, for the "Timed" punch mode

 private:
  // Under the engine lock (the caller's, or taken for the hand-over only):
  // ends a take or playback and hands the resolved file to the worker.
  void HandOverFile(const std::string& path);
  void TakeUpFileAnswer();
  // Whether the worker's answer about the file named last says it was lost.
  bool AnswerSaysLost() const;
  bool SoundInActive() const;
  // The file's part of a block: commands, recording, playback.
  void ProcessFile();
  // Audio thread: the inputs through the limiter into buffers of its own;
  // answers how many of the first `counted` frames it turned down.
  int Limit(int counted);
  // Audio thread: counts what goes out in the block's first n frames.
  void CountOutput(int n);
  // Audio thread: the counts from nothing (how many frames are still to be
  // counted stays as it was).
  void StartCounting();
  void Record();
  void Play();
  // Ends what runs, before another command or for good: a take whole (its
  // frames written, the header brought up to date), playback where it is.
  void EndRunning();
  void EndTake();

  QSStaticPropertyTable table_;
  const QSSignal* left_ = &QSSignal::Silent();
  const QSSignal* right_ = &QSSignal::Silent();
  QSSignal playLeft_, playRight_;
  QSSignal heardLeft_, heardRight_;  // the inlets' block, limited when asked
  OutputLimiter limiter_;
  std::atomic<bool> limiting_{false};
  std::atomic<bool> restartCounts_{false};
  std::atomic<bool> restLimiter_{false};
  // Written by the audio thread only; read by anyone.
  std::atomic<uint64_t> clipped_{0};
  std::atomic<float> peak_{0.0f};
  std::atomic<uint64_t> limited_{0};
  std::atomic<float> lowestGain_{1.0f};
  std::atomic<uint64_t> clippedBlocks_{0};
  std::atomic<int64_t> countLimit_{-1};  // as asked for with the restart
  int64_t countLeft_ = -1;               // frames still to count; -1 all
  std::atomic<int> state_{kNoFile};
  bool playStarted_ = false;
  std::atomic<bool> offline_{false};
  uint32_t frameCounter_ = 0;
  alignas(64) int16_t frames_[kBlockSize * 2] = {};
  const TGSoundIn* soundIn_ = nullptr;
  const HostServices* host_ = nullptr;
  EngineLock* engineLock_ = nullptr;
  std::atomic<uint64_t> fileRequest_{0};  // the worker's number for the file named last
  std::string requestedPath_;             // the UI thread's
  SoundOutFileWorker worker_;
};

}  // namespace tg
