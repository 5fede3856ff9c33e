#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "contraptions/io/soundin/SoundInFileWorker.h"
#include "contraptions/io/soundin/SoundInLocation.h"
#include "framework/QSSignalProcessor.h"
#include "properties/QSBoolProperty.h"
#include "properties/QSCStringProperty.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

class EngineLock;

// Brings the sound card's input, or a sound file played in its place, into
// the patch. The file is read ahead on a thread of its own. The engine owns
// the one instance for its whole life.
class TGSoundIn final : public QSSignalProcessor {
 public:
  explicit TGSoundIn(QSDynSigContext* context);

  // Audio thread: plays the file in file mode; device input comes through
  // TakeDeviceInput.
  void Process() override;
  // Takes what the engine hands over from the device.
  bool SharesEngineState() const override { return true; }
  // UI thread: opens the input file anew (stopped, at its start). A caller
  // holding the engine lock is not kept waiting for the disk: "FileIsGood"
  // and "Duration" follow when the file has been looked at.
  void Reset() override;
  QSPropertyTable* GetPropertyTable() override;

  // Audio thread, input buffer held: converts one block of device input
  // starting at a 16-bit value index, and moves the input peak meters.
  void TakeDeviceInput(const int16_t* data, int readPosition, float& levelLeft, float& levelRight);

  // Audio thread, after the pass: the file's input meters (0 when not playing).
  float FileLevelLeft() const { return levelLeft_; }
  float FileLevelRight() const { return levelRight_; }
  // Audio thread, later in the same pass: frames of this block that belong
  // to the file's playing (all of the block while it plays, fewer in the
  // block where it ends, 0 when it does not play).
  int PlayingFrames() const { return playingFrames_.load(std::memory_order_relaxed); }

  // UI thread, not under the engine lock: waits until the file named last
  // has been looked at.
  void WaitForFile();
  // UI thread: why the file cannot be played, or why it stopped before its
  // end; empty when nothing went wrong.
  std::string FileProblem() const;
  // Any thread: the open file's length in frames at the program's rate.
  int64_t FileFrames() const { return worker_.Frames(); }

  void SetEngineLock(EngineLock* lock) { engineLock_ = lock; }
  // Offline rendering waits for the disk instead of playing silence.
  void SetOffline(bool offline) { worker_.SetOffline(offline); }

  QSBoolProperty useADC{true};
  QSCStringProperty inputFile{QSCStringProperty::SoundFileName{}};
  QSBoolProperty fileIsGood{false};
  QSBoolProperty active{false};
  QSBoolProperty loop{false};
  QSDoubleProperty loopDelay{0.0};
  QSBoolProperty autoRewind{false};
  SoundInLocation location;
  QSDoubleProperty duration{0.0};

 private:
  void FileOpened(const SoundInFileWorker::FileFacts& facts);
  void StartPlaying();
  void StopPlaying();
  void Silence();

  QSStaticPropertyTable table_;
  QSSignal left_;
  QSSignal right_;
  bool playing_ = false;    // the audio thread's
  bool delivered_ = false;  // since playing began, the reader's first frames came
  float levelLeft_ = 0.0f, levelRight_ = 0.0f;
  std::atomic<int> playingFrames_{0};
  EngineLock* engineLock_ = nullptr;
  uint64_t fileRequest_ = 0;  // the UI thread's
  std::string path_;          // the UI thread's: the file named last, resolved
  SoundInFileWorker worker_;  // last: its thread calls back into the properties
};

}  // namespace tg
