#include "contraptions/io/soundout/TGSoundOut.h"

#include <chrono>
#include <string>
#include <thread>

#include "contraptions/io/soundin/TGSoundIn.h"
#include "dsp/SampleConversion.h"
#include "engine/SoundFilePaths.h"
#include "framework/host/HostServices.h"

namespace tg {

TGSoundOut::TGSoundOut(QSDynSigContext* context) : QSSignalProcessor(context, 2, 0) {
  action.ClearChanged();
}

QSPropertyTable* TGSoundOut::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    add(outputFile, "OutputFile");
    add(action, "Action");
    add(fileMode, "FileMode");
    add(punchMode, "PunchMode");
    add(recordDuration, "RecordDuration");
  });
}

// A file that exists is found where sound files are looked for; a new one is
// made beside the document rather than wherever the program was started.
std::string TGSoundOut::OutputPath() const {
  const std::string& name = outputFile.Value();
  if (name.empty() || SoundFileExists(name) || name.front() == '/') return ResolveSoundFile(name);
  return SoundFilePaths::Instance().DocumentDirectory() + name;
}

void TGSoundOut::Reset() { ReportFileProblem(OpenChangedFile()); }

std::string TGSoundOut::OpenChangedFile() {
  if (!outputFile.TakeChanged()) return {};
  if (state_ == kRecording || state_ == kRecordPaused) worker_.EndTake();
  const std::string path = OutputPath();
  std::string error;
  const bool usable = worker_.OpenFile(path, &error);
  state_ = usable ? kStopped : kNoFile;
  playStarted_ = false;
  action.SetValue(kStop);
  action.ClearChanged();
  if (usable || path.empty()) return {};
  return "SoundOut cannot record to or play \"" + path + "\":\n" + error +
         ".\nChoose another file in SoundOut's window.";
}

void TGSoundOut::ReportFileProblem(const std::string& problem) const {
  if (problem.empty() || host_ == nullptr || host_->messages == nullptr) return;
  host_->messages->ShowMessage(problem, "Tonegarden", MessageIcon::Warning);
}

bool TGSoundOut::SoundInActive() const { return soundIn_ != nullptr && soundIn_->active.Value(); }

void TGSoundOut::Process() {
  left_ = &InletSignal(0);
  right_ = &InletSignal(1);
  if (state_ == kNoFile) return;
  if (action.TakeChanged()) {
    switch (action.Value()) {
      case kPlay:
        state_ = kPlaying;
        playStarted_ = false;
        break;
      case kRecord:
        worker_.BeginTake(fileMode.Value() == 1);
        frameCounter_ = 0;
        state_ = punchMode.Value() == kSoundInSync && !SoundInActive() ? kRecordPaused : kRecording;
        break;
      default:
        if (state_ != kStopped) EndTake();
        break;
    }
  }
  if (action.Value() == kStop || state_ == kStopped) {
    worker_.Maintain();
    return;
  }
  if (state_ == kRecordPaused && SoundInActive()) state_ = kRecording;
  if (state_ == kRecording) {
    Record();
  } else if (state_ == kPlaying) {
    Play();
  }
}

void TGSoundOut::Record() {
  for (int i = 0; i < kBlockSize; ++i) {
    frames_[2 * i] = ToSample16((*left_)[i]);
    frames_[2 * i + 1] = ToSample16((*right_)[i]);
  }
  worker_.RecordFrames(frames_, kBlockSize);
  frameCounter_ += kBlockSize;
  const bool soundInStopped = punchMode.Value() == kSoundInSync && !SoundInActive();
  const bool timeIsUp =
      punchMode.Value() == kTimed &&
      static_cast<int64_t>(recordDuration.Value()) * 44100 <= static_cast<int64_t>(frameCounter_);
  if (soundInStopped || timeIsUp) EndTake();
}

void TGSoundOut::Play() {
  if (!playStarted_) {
    worker_.Maintain();
    while (offline_ && !worker_.PlaybackReady()) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));  // renders wait for the disk
      worker_.Maintain();
    }
    if (!worker_.PlaybackReady()) {
      // The start of the file is still being read in: a few milliseconds of silence.
      playLeft_.Fill(0.0f);
      playRight_.Fill(0.0f);
      left_ = &playLeft_;
      right_ = &playRight_;
      return;
    }
    worker_.StartPlayback();
    playStarted_ = true;
  }
  worker_.ReadPlayback(frames_, kBlockSize);
  constexpr float kScale = 1.0f / 32768.0f;
  for (int i = 0; i < kBlockSize; ++i) {
    playLeft_[i] = static_cast<float>(frames_[2 * i]) * kScale;
    playRight_[i] = static_cast<float>(frames_[2 * i + 1]) * kScale;
  }
  left_ = &playLeft_;
  right_ = &playRight_;
  if (worker_.PlaybackFinished()) EndTake();
}

void TGSoundOut::EndTake() {
  if (state_ == kPlaying) {
    worker_.StopPlayback();
  } else {
    worker_.EndTake();
  }
  playStarted_ = false;
  action.SetValue(kStop);
  action.ClearChanged();
  state_ = kStopped;
}

}  // namespace tg
