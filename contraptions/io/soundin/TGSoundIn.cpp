#include "contraptions/io/soundin/TGSoundIn.h"

#include <algorithm>
#include <cmath>

#include "base/EngineLock.h"
#include "dsp/SampleConversion.h"
#include "files/SoundFilePaths.h"

namespace tg {

namespace {
constexpr float kLevelDecay = 0.5952380952f;
constexpr float kSampleScale = 1.0f / 32768.0f;

// Where a "Location" in milliseconds stands, in frames at the program's
// rate; to the nearest frame, so a position SoundIn published comes back to
// the very frame it stood for.
int64_t FrameAt(double ms) {
  if (!(ms > 0.0)) return 0;
  return std::llround(std::min(ms, 86400000.0) * 0.001 * kSampleRate);
}

float Peak(const float* v, int n) {
  float peak = 0.0f;
  for (int i = 0; i < n; ++i) peak = std::max(peak, std::fabs(v[i]));
  return peak;
}
}  // namespace

TGSoundIn::TGSoundIn(QSDynSigContext* context)
    : QSSignalProcessor(context, 0, 2),
      worker_(loop, loopDelay, [this](const SoundInFileWorker::FileFacts& f) { FileOpened(f); }) {
  SetOutletSignal(0, &left_);
  SetOutletSignal(1, &right_);
}

QSPropertyTable* TGSoundIn::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    add(useADC, "UseADC");
    add(inputFile, "InputFile");
    add.State(fileIsGood, "FileIsGood");
    add.State(active, "Active");
    add(loop, "Loop");
    add(loopDelay, "LoopDelay", QSAbstractUnits::Get(), 0.0, 600000.0);  // ms
    add(autoRewind, "AutoRewind");
    // In milliseconds, up to a day: longer than any wave file lasts.
    add.State(location, "Location", 0.0, 86400000.0);
    add.State(duration, "Duration", 0.0, 86400000.0);
  });
}

void TGSoundIn::Reset() {
  inputFile.ClearChanged();
  // A new file plays from its start, not from a position meant for the last
  // one (or stored in a document).
  location.ClearChanged();
  active.SetValue(false);
  fileIsGood.Publish(false);
  path_ = inputFile.Value().empty() ? std::string() : ResolveSoundFile(inputFile.Value());
  fileRequest_ = worker_.Open(path_);
  if (engineLock_ != nullptr && engineLock_->IsHeldByCaller()) return;
  worker_.WaitForAnswer(fileRequest_);
}

// The worker's thread.
void TGSoundIn::FileOpened(const SoundInFileWorker::FileFacts& facts) {
  duration.Publish(facts.durationMs);
  if (facts.good) location.Publish(0.0);
  fileIsGood.Publish(facts.good);
}

void TGSoundIn::WaitForFile() { worker_.WaitForAnswer(fileRequest_); }

std::string TGSoundIn::FileProblem() const {
  if (path_.empty() || !worker_.Answered(fileRequest_)) return {};
  const std::string why = worker_.Problem();
  if (why.empty()) return {};
  return (fileIsGood.Value() ? "SoundIn could not play \"" : "SoundIn cannot play \"") + path_ +
         "\": " + why + ".";
}

void TGSoundIn::StartPlaying() {
  if (!fileIsGood.Value()) {
    StopPlaying();
    return;
  }
  // Played from where it stands, or from where the user moved it: no seek besides.
  const bool moved = location.TakeChanged();
  double from = moved ? location.SeekTarget() : location.Value();
  if (autoRewind.Value()) from = 0.0;
  location.Publish(from);
  worker_.Start(FrameAt(from));
  playing_ = true;
  delivered_ = false;
}

void TGSoundIn::StopPlaying() {
  if (playing_) worker_.Stop();
  playing_ = false;
}

void TGSoundIn::Silence() {
  left_.Fill(0.0f);
  right_.Fill(0.0f);
  levelLeft_ = levelRight_ = 0.0f;
}

void TGSoundIn::Process() {
  playingFrames_.store(0, std::memory_order_relaxed);
  if (useADC.Value()) {
    // Out of file mode nothing plays, however it was left (a preset, an undo).
    StopPlaying();
    if (active.Value()) active.Publish(false);
    levelLeft_ = levelRight_ = 0.0f;
    return;
  }
  if (active.TakeChanged()) {
    if (active.Value()) {
      StartPlaying();
    } else {
      StopPlaying();
    }
  }
  if (!playing_) {
    Silence();
    return;
  }
  // The user moved the position while it plays.
  if (location.TakeChanged()) worker_.Start(FrameAt(location.SeekTarget()));

  const SoundInFileWorker::Delivery d = worker_.Read(left_.Data(), right_.Data(), kBlockSize);
  const bool over = d.ended || d.failed;
  // Live, the reader may not have the first frames yet: until it does the
  // play has not begun, so a synchronised take does not count those blocks.
  delivered_ = delivered_ || d.frames > 0;
  playingFrames_.store(over ? d.frames : (delivered_ ? kBlockSize : 0), std::memory_order_relaxed);
  levelLeft_ *= kLevelDecay;
  levelRight_ *= kLevelDecay;
  levelLeft_ = std::max(levelLeft_, Peak(left_.Data(), kBlockSize) * 32768.0f / 32766.0f);
  levelRight_ = std::max(levelRight_, Peak(right_.Data(), kBlockSize) * 32768.0f / 32766.0f);
  if (!over) {
    // A position the user set meanwhile is taken up next block.
    if (!location.IsChanged()) location.Publish(d.locationMs);
    return;
  }
  playing_ = false;
  active.Publish(false);
  if (d.failed) {
    fileIsGood.Publish(false);
    location.Publish(d.locationMs);
  } else {
    location.Publish(autoRewind.Value() ? 0.0 : duration.Value());
  }
}

void TGSoundIn::TakeDeviceInput(const int16_t* data, int readPosition, float& levelLeft,
                                float& levelRight) {
  if (!useADC.Value()) return;
  if (data == nullptr) {
    left_.Fill(0.0f);
    right_.Fill(0.0f);
    return;
  }
  const Peaks16 peaks =
      FromSamples16(data + readPosition, kSampleScale, left_.Data(), right_.Data(), kBlockSize);
  levelLeft *= kLevelDecay;
  levelRight *= kLevelDecay;
  levelLeft = std::max(levelLeft, static_cast<float>(peaks.left) / 32766.0f);
  levelRight = std::max(levelRight, static_cast<float>(peaks.right) / 32766.0f);
}

}  // namespace tg
