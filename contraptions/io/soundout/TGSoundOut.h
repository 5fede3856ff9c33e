#pragma once

#include <atomic>
#include <string>

#include "contraptions/io/soundout/SoundOutFileWorker.h"
#include "framework/QSSignalProcessor.h"
#include "framework/properties/QSCStringProperty.h"
#include "framework/properties/QSIntProperty.h"

namespace tg {

class TGSoundIn;
struct HostServices;

// The end of the graph: the engine sends its two inputs to the sound card
// after every pass. It can record them to a wave file and play the file back
// in their place; the file work happens on a thread of its own. The engine
// owns the one instance for its whole life.
class TGSoundOut final : public QSSignalProcessor {
 public:
  enum State { kNoFile = -1, kStopped = 0, kRecording = 1, kRecordPaused = 2, kPlaying = 3 };
  enum Action { kStop = 0, kPlay = 1, kRecord = 2 };
  enum PunchMode { kManual = 0, kSoundInSync = 1, kTimed = 2 };

  explicit TGSoundOut(QSDynSigContext* context);

  // Audio thread.
  void Process() override;
  // UI thread, engine lock held (or audio stopped): opens the output file if
  // its name changed, and tells the user when the named file cannot be used.
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;

  // UI thread, engine lock held: Reset's work without telling anybody. It
  // answers why the named file cannot be used; empty when it can, or when
  // the name did not change.
  std::string OpenChangedFile();
  // UI thread, not under the engine lock (a message box waits for the user):
  // tells the user what OpenChangedFile answered, if anything.
  void ReportFileProblem(const std::string& problem) const;
  // UI thread: the file the name stands for, resolved like the document's
  // other sound files; a new file goes beside the document.
  std::string OutputPath() const;

  // The SoundIn whose activity the "SoundIn Sync" punch mode follows.
  void SetSoundIn(const TGSoundIn* soundIn) { soundIn_ = soundIn; }
  // Where to tell the user about a file that cannot be used.
  void SetHost(const HostServices* host) { host_ = host; }
  // Offline rendering waits for the disk instead of dropping or skipping.
  void SetOffline(bool offline) {
    offline_ = offline;
    worker_.SetOffline(offline);
  }

  // Audio thread: what goes to the sound card this block.
  const QSSignal& OutputLeft() const { return *left_; }
  const QSSignal& OutputRight() const { return *right_; }
  // Any thread.
  int GetState() const { return state_.load(); }
  double FilePositionMs() const { return worker_.PositionMs(); }
  double FileLengthMs() const { return worker_.LengthMs(); }
  // UI thread: frames of the current or most recent take that were lost
  // because the disk fell behind (0 again when a take starts).
  uint64_t LostFrames() const { return worker_.LostFrames(); }
  // Any thread: whether the start of the file is read in, so playing starts at once.
  bool PlaybackReady() const { return worker_.PlaybackReady(); }
  // UI thread: waits until what was recorded so far is on disk.
  void FlushFile() { worker_.Flush(); }
  // The disk side, for tools that watch or hold it.
  SoundOutFileWorker& FileWorker() { return worker_; }

  QSCStringProperty outputFile;
  QSIntProperty action{kStop};
  QSIntProperty fileMode{0};  // 0 append, 1 overwrite
  QSIntProperty punchMode{kManual};
  QSIntProperty recordDuration{300};  // seconds, for the "Timed" punch mode

 private:
  bool SoundInActive() const;
  void Record();
  void Play();
  void EndTake();

  QSStaticPropertyTable table_;
  const QSSignal* left_ = &QSSignal::Silent();
  const QSSignal* right_ = &QSSignal::Silent();
  QSSignal playLeft_, playRight_;
  std::atomic<int> state_{kNoFile};
  bool playStarted_ = false;
  std::atomic<bool> offline_{false};
  uint32_t frameCounter_ = 0;
  alignas(64) int16_t frames_[kBlockSize * 2] = {};
  const TGSoundIn* soundIn_ = nullptr;
  const HostServices* host_ = nullptr;
  SoundOutFileWorker worker_;
};

}  // namespace tg
