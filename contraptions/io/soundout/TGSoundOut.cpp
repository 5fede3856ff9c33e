#include "contraptions/io/soundout/TGSoundOut.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "base/EngineLock.h"
#include "contraptions/io/soundin/TGSoundIn.h"
#include "contraptions/io/soundout/LostFramesMessage.h"
#include "contraptions/io/soundout/OutputLevelMessage.h"
#include "dsp/SampleConversion.h"
#include "files/FileNames.h"
#include "files/SoundFilePaths.h"
#include "host/HostServices.h"

namespace tg {

TGSoundOut::TGSoundOut(QSDynSigContext* context) : QSSignalProcessor(context, 2, 0) {
  action.ClearChanged();
}

QSPropertyTable* TGSoundOut::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo info;
  return table_.Bind(info, [this](auto& add) {
    add(outputFile, "OutputFile");
    add.Command(action, "Action", kStop, kRecord);
    add(fileMode, "FileMode", QSAbstractUnits::Get(), 0.0, 1.0);  // append, overwrite
    add(punchMode, "PunchMode", QSAbstractUnits::Get(), kManual, kTimed);
    add(recordDuration, "RecordDuration", QSAbstractUnits::Get(), 0.0, 10000.0);  // seconds
  });
}

// A file that exists is found where sound files are looked for; a new one is
// made beside the document rather than wherever the program was started.
void TGSoundOut::EndTakeOrPlayback() {
  std::optional<EngineLockGuard> lock;
  if (engineLock_ != nullptr) lock.emplace(*engineLock_);
  const int state = state_.load();
  if (state == kRecording || state == kRecordPaused || state == kPlaying) EndTake();
}

bool TGSoundOut::HoldsFile(const std::string& path) const {
  return filenames::SameFile(requestedPath_, path);
}

std::string TGSoundOut::OutputPath() const {
  const std::string& name = outputFile.Value();
  if (name.empty() || SoundFileExists(name) || name.front() == '/') return ResolveSoundFile(name);
  return SoundFilePaths::Instance().DocumentDirectory() + name;
}

void TGSoundOut::Reset() {
  if (!outputFile.TakeChanged()) return;
  // A caller holding the engine lock is not kept waiting under it.
  const bool callerHoldsLock = engineLock_ != nullptr && engineLock_->IsHeldByCaller();
  const std::string path = OutputPath();
  HandOverFile(path);
  if (callerHoldsLock || path.empty()) return;
  WaitForFile();
  ReportFileProblem(FileProblem());
}

void TGSoundOut::ChooseFile(const std::string& name) {
  outputFile.SetValue(name);
  outputFile.ClearChanged();
  HandOverFile(OutputPath());
}

void TGSoundOut::HandOverFile(const std::string& path) {
  uint64_t request = 0;
  {
    std::optional<EngineLockGuard> lock;
    if (engineLock_ != nullptr) lock.emplace(*engineLock_);
    // The audio thread is held off: its side of the worker is ours meanwhile.
    const int state = state_.load();
    if (state == kRecording || state == kRecordPaused || state == kPlaying) EndTake();
    request = worker_.BeginRequest();
    fileRequest_ = request;
    state_ = path.empty() ? kNoFile : kOpening;
    playStarted_ = false;
    action.SetValue(kStop);
    action.ClearChanged();
  }
  requestedPath_ = path;
  worker_.SendRequest(request, path);  // waking the worker may cost a thread switch: after the lock
}

void TGSoundOut::TakeUpFileAnswer() {
  int state = state_.load();
  if (state != kOpening && state != kStopped) return;
  const SoundOutFileWorker::Answer answer = worker_.LastAnswer();
  if (answer.request != fileRequest_.load()) return;
  if (state == kOpening) {
    state_.compare_exchange_strong(state, answer.usable ? kStopped : kNoFile);
  } else if (answer.lost) {
    state_.compare_exchange_strong(state, kNoFile);
  }
}

bool TGSoundOut::AnswerSaysLost() const {
  const SoundOutFileWorker::Answer answer = worker_.LastAnswer();
  return answer.request == fileRequest_.load() && answer.lost;
}

bool TGSoundOut::FileLost() const { return !requestedPath_.empty() && AnswerSaysLost(); }

void TGSoundOut::WaitForFile() {
  worker_.WaitForAnswer(fileRequest_.load());
  TakeUpFileAnswer();
}

std::string TGSoundOut::FileProblem() const {
  const SoundOutFileWorker::Answer answer = worker_.LastAnswer();
  if (requestedPath_.empty() || answer.request != fileRequest_.load() || answer.usable) return {};
  const std::string what = answer.lost
                               ? "SoundOut lost \"" + requestedPath_ + "\" during a take:\n"
                               : "SoundOut cannot record to or play \"" + requestedPath_ + "\":\n";
  return what + worker_.AnswerError() + ".\nChoose another file in SoundOut's window.";
}

std::string TGSoundOut::TakeMessage() const {
  return LostFramesMessage(worker_.LostFrames(), worker_.TakeError());
}

void TGSoundOut::ReportFileProblem(const std::string& problem) const {
  if (problem.empty() || host_ == nullptr || host_->messages == nullptr) return;
  host_->messages->ShowMessage(problem, "Tonegarden", MessageIcon::Warning);
}

bool TGSoundOut::SoundInActive() const {
  if (soundIn_ == nullptr) return false;
  if (soundIn_->IsScheduled()) return soundIn_->PlayingFrames() > 0;
  return soundIn_->active.Value();
}

void TGSoundOut::Process() {
  // Copied: the engine reads what goes out after the pass, when a source
  // wired straight in may already be making its next block on a helper.
  heardLeft_.CopyFrom(InletSignal(0));
  heardRight_.CopyFrom(InletSignal(1));
  left_ = &heardLeft_;
  right_ = &heardRight_;
  if (restartCounts_.load(std::memory_order_relaxed) &&
      restartCounts_.exchange(false, std::memory_order_acq_rel)) {
    StartCounting();
    countLeft_ = countLimit_.load(std::memory_order_relaxed);
  }
  if (restLimiter_.load(std::memory_order_relaxed) &&
      restLimiter_.exchange(false, std::memory_order_acq_rel)) {
    limiter_ = OutputLimiter();
  }
  // An export counts only the frames its file takes.
  const int counted =
      countLeft_ < 0 ? kBlockSize : static_cast<int>(std::min<int64_t>(countLeft_, kBlockSize));
  if (countLeft_ > 0) countLeft_ -= counted;
  const int reduced = limiting_.load(std::memory_order_relaxed) ? Limit(counted) : 0;
  ProcessFile();  // a take starts the counts afresh, this block its first
  if (reduced > 0) {
    limited_.store(limited_.load(std::memory_order_relaxed) + static_cast<uint64_t>(reduced),
                   std::memory_order_relaxed);
    lowestGain_.store(std::min(lowestGain_.load(std::memory_order_relaxed), limiter_.LowestGain()),
                      std::memory_order_relaxed);
  }
  CountOutput(counted);
}

void TGSoundOut::StartCounting() {
  clipped_.store(0, std::memory_order_relaxed);
  peak_.store(0.0f, std::memory_order_relaxed);
  limited_.store(0, std::memory_order_relaxed);
  lowestGain_.store(1.0f, std::memory_order_relaxed);
}

int TGSoundOut::Limit(int counted) {
  limiter_.ForgetLowest();  // this block's lowest
  return limiter_.Process(heardLeft_.Data(), heardRight_.Data(), counted);
}

void TGSoundOut::CountOutput(int n) {
  const float* l = left_->Data();
  const float* r = right_->Data();
  // On the bits of the magnitudes, which order as the magnitudes do, so the
  // loop is whole-number compares the compiler can take four at a time.
  constexpr int32_t kInfinity = 0x7F800000;
  constexpr int32_t kOne = 0x3F800000;
  const auto magnitude = [](float x) {
    const int32_t bits = std::bit_cast<int32_t>(x) & 0x7FFFFFFF;
    // What is not a finite number never counts: it goes out as silence.
    return bits < kInfinity ? bits : 0;
  };
  int over = 0;
  int32_t peakBits = 0;
  for (int i = 0; i < n; ++i) {
    const int32_t a = magnitude(l[i]);
    const int32_t b = magnitude(r[i]);
    over += (a > kOne) + (b > kOne);
    peakBits = std::max(peakBits, std::max(a, b));
  }
  const float peak = std::bit_cast<float>(peakBits);
  if (over > 0) {
    clipped_.store(clipped_.load(std::memory_order_relaxed) + static_cast<uint64_t>(over),
                   std::memory_order_relaxed);
    if (!offline_.load(std::memory_order_relaxed)) {
      clippedBlocks_.store(clippedBlocks_.load(std::memory_order_relaxed) + 1,
                           std::memory_order_relaxed);
    }
  }
  if (peak > peak_.load(std::memory_order_relaxed)) peak_.store(peak, std::memory_order_relaxed);
}

TGSoundOut::OutputCounts TGSoundOut::Counts() const {
  return {clipped_.load(std::memory_order_relaxed), peak_.load(std::memory_order_relaxed),
          limited_.load(std::memory_order_relaxed), lowestGain_.load(std::memory_order_relaxed)};
}

std::string TGSoundOut::ClipSummary() const {
  const OutputCounts c = Counts();
  return ClippedMessage(c.clipped, c.peak);
}

std::string TGSoundOut::LimiterSummary() const {
  const OutputCounts c = Counts();
  return LimitedMessage(c.limited, c.lowestGain);
}

std::string TGSoundOut::OutputSummary() const {
  const std::string limited = LimiterSummary();
  return limited.empty() ? ClipSummary() : ClipSummary() + "; " + limited;
}

void TGSoundOut::ProcessFile() {
  if (state_ == kOpening) {
    TakeUpFileAnswer();
    // A render must see the file open before its first block.
    while (offline_ && state_ == kOpening) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
      TakeUpFileAnswer();
    }
    if (state_ == kOpening) {
      worker_.Maintain();
      return;
    }
  }
  if (state_ == kNoFile) return;
  if (AnswerSaysLost()) {
    EndTake();  // its frames count as lost, and a command waiting is void
    state_ = kNoFile;
    return;
  }
  if (action.TakeChanged()) {
    switch (action.Value()) {
      case kPlay:
        // A document or a preset can ask for this during a take.
        EndRunning();
        state_ = kPlaying;
        break;
      case kRecord:
        EndRunning();
        StartCounting();
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
  // A SoundIn playing its file in the pass says which frames of this block
  // were its file's: the take holds exactly the file.
  const bool sync = punchMode.Value() == kSoundInSync;
  const bool exact = sync && soundIn_ != nullptr && soundIn_->IsScheduled();
  const int frames = exact ? soundIn_->PlayingFrames() : kBlockSize;
  ToSamples16(left_->Data(), right_->Data(), frames_, kBlockSize);
  if (frames > 0) worker_.RecordFrames(frames_, frames);
  frameCounter_ += static_cast<uint32_t>(frames);
  const bool soundInStopped = exact ? frames < kBlockSize : sync && !SoundInActive();
  const bool timeIsUp =
      punchMode.Value() == kTimed &&
      static_cast<int64_t>(recordDuration.Value()) * 44100 <= static_cast<int64_t>(frameCounter_);
  if (soundInStopped || timeIsUp) EndTake();
}

void TGSoundOut::Play() {
  if (!playStarted_) {
    worker_.Maintain();
    while (offline_ && !worker_.ReadyToPlay()) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));  // renders wait for the disk
      worker_.Maintain();
    }
    if (!worker_.ReadyToPlay()) {
      // The last take is still going to disk, or the start of the file being
      // read in: a few milliseconds of silence.
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
  FromSamples16(frames_, 1.0f / 32768.0f, playLeft_.Data(), playRight_.Data(), kBlockSize);
  left_ = &playLeft_;
  right_ = &playRight_;
  if (worker_.PlaybackFinished()) EndTake();
}

void TGSoundOut::EndRunning() {
  const int state = state_.load();
  if (state == kRecording || state == kRecordPaused) {
    worker_.EndTake();
  } else if (state == kPlaying) {
    worker_.StopPlayback();  // a second Play starts from the beginning
  }
  playStarted_ = false;
}

void TGSoundOut::EndTake() {
  EndRunning();
  action.SetValue(kStop);
  action.ClearChanged();
  state_ = kStopped;
}

}  // namespace tg
