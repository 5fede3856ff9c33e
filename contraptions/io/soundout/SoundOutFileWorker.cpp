#include "contraptions/io/soundout/SoundOutFileWorker.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "files/wavefiles/TGWaveOutFile.h"

namespace tg {

namespace {
constexpr auto kWorkerPoll = std::chrono::milliseconds(5);
// How the audio thread waits for the disk while rendering offline.
void WorkerNap() { std::this_thread::sleep_for(std::chrono::microseconds(100)); }
}  // namespace

namespace {
constexpr size_t kChunkSamples = size_t{SoundOutFileWorker::kChunkFrames} * 2;
constexpr size_t kStoreSamples = kChunkSamples * SoundOutFileWorker::kChunkCount;
}  // namespace

SoundOutFileWorker::SoundOutFileWorker()
    : recordSamples_(std::make_unique_for_overwrite<int16_t[]>(kStoreSamples)),
      playSamples_(std::make_unique_for_overwrite<int16_t[]>(kStoreSamples)),
      recordChunks_(kChunkCount),
      playChunks_(kChunkCount) {
  for (int i = 0; i < kChunkCount; ++i) {
    const size_t at = kChunkSamples * static_cast<size_t>(i);
    recordChunks_[static_cast<size_t>(i)].data = recordSamples_.get() + at;
    playChunks_[static_cast<size_t>(i)].data = playSamples_.get() + at;
    playFree_.Push(i);  // the worker writes these itself before the audio thread reads them
  }
  thread_ = std::thread([this] { Run(); });
}

void SoundOutFileWorker::ReadyRecordChunks() {
  for (int i = 0; i < kChunkCount; ++i) {
    std::fill_n(recordChunks_[static_cast<size_t>(i)].data, kChunkSamples, int16_t{0});
    recordFree_.Push(i);
  }
  recordChunksReady_ = true;
}

SoundOutFileWorker::~SoundOutFileWorker() {
  running_ = false;
  Wake();
  thread_.join();
  std::lock_guard lock(fileMutex_);
  DrainRecorded();
  SwitchFile("");
}

uint64_t SoundOutFileWorker::BeginRequest() {
  // Take boundaries the audio thread could not send yet belong to the last
  // file, whose header closing brings up to date anyway; sent later, they
  // would land in the next one.
  endPending_ = beginPending_ = false;
  return lastRequest_.fetch_add(1) + 1;
}

void SoundOutFileWorker::SendRequest(uint64_t request, const std::string& fileName) {
  {
    std::lock_guard lock(requestMutex_);
    if (request <= requested_) return;  // a later one was sent already
    requested_ = request;
    requestedName_ = fileName;
  }
  Wake();
}

void SoundOutFileWorker::WaitForAnswer(uint64_t request) {
  std::unique_lock lock(requestMutex_);
  answered_.wait(lock, [&] { return handledRequest_ >= request; });
}

std::string SoundOutFileWorker::AnswerError() const {
  std::lock_guard lock(requestMutex_);
  return answerError_;
}

void SoundOutFileWorker::OpenRequestedFile() {
  uint64_t request = 0;
  std::string name;
  {
    std::lock_guard lock(requestMutex_);
    if (requested_ == handledRequest_) return;
    request = requested_;
    name = requestedName_;
  }
  // Whatever the audio side queued before asking (a take's last frames, its
  // end) is visible now, and goes to the file it was recorded for.
  DrainRecorded();
  // Nothing can be recorded before the first file is answered for.
  if (!name.empty() && !recordChunksReady_) ReadyRecordChunks();
  std::string error = SwitchFile(name);
  {
    std::lock_guard lock(requestMutex_);
    handledRequest_ = request;
    answerError_ = std::move(error);
    answer_.store(request << 2 | (hasFile_.load() ? 1u : 0u), std::memory_order_release);
  }
  answered_.notify_all();
}

std::string SoundOutFileWorker::SwitchFile(const std::string& fileName) {
  // Closing writes the last take's sizes: if that fails, the take says so.
  if (file_ && !file_->Close() && wroteToFile_) NoteDiskError(file_->Error());
  file_.reset();
  takeOnDisk_ = headerStale_ = wroteToFile_ = false;
  std::string error;
  if (!fileName.empty()) {
    auto file = std::make_unique<TGWaveOutFile>(fileName, 44100, 2, false);
    if (file->IsOpen()) {
      file_ = std::move(file);
    } else {
      error = file->Error();
    }
  }
  fileError_ = error;
  hasFile_ = file_ != nullptr;
  lengthFrames_ = file_ ? file_->Length() : 0;
  positionFrames_ = 0;
  wantedGeneration_.fetch_add(1);  // read the new file in from its start
  return error;
}

bool SoundOutFileWorker::TakeFreeRecordChunk() {
  int index = -1;
  while (!recordFree_.Pop(index)) {
    if (!offline_.load(std::memory_order_relaxed)) return false;
    Wake();
    WorkerNap();
  }
  recordCurrent_ = index;
  Chunk& c = recordChunks_[static_cast<size_t>(index)];
  c.kind = Kind::Frames;
  c.frames = 0;
  return true;
}

void SoundOutFileWorker::PushCurrent() {
  recordFilled_.Push(recordCurrent_);
  queued_.fetch_add(1);
  recordCurrent_ = -1;
  Wake();
}

bool SoundOutFileWorker::QueueMarker(Kind kind) {
  if (recordCurrent_ >= 0 && recordChunks_[static_cast<size_t>(recordCurrent_)].frames > 0)
    PushCurrent();
  if (recordCurrent_ < 0 && !TakeFreeRecordChunk()) return false;
  Chunk& c = recordChunks_[static_cast<size_t>(recordCurrent_)];
  c.kind = kind;
  c.frames = 0;
  c.take = takesBegun_.load();
  PushCurrent();
  return true;
}

bool SoundOutFileWorker::QueuePendingMarkers() {
  if (endPending_) {
    if (!QueueMarker(Kind::End)) return false;
    endPending_ = false;
  }
  if (beginPending_) {
    if (!QueueMarker(beginOverwrites_ ? Kind::BeginOverwrite : Kind::Begin)) return false;
    beginPending_ = false;
  }
  return true;
}

void SoundOutFileWorker::BeginTake(bool overwrite) {
  droppedFrames_.store(0);
  takesBegun_.fetch_add(1);
  if (overwrite) lengthFrames_ = 0;
  positionFrames_ = lengthFrames_.load();
  beginPending_ = true;
  beginOverwrites_ = overwrite;
  QueuePendingMarkers();
}

bool SoundOutFileWorker::RecordFrames(const int16_t* frames, int count) {
  if (!QueuePendingMarkers()) {
    droppedFrames_.fetch_add(static_cast<uint64_t>(count));
    return false;
  }
  while (count > 0) {
    if (recordCurrent_ < 0 && !TakeFreeRecordChunk()) {
      droppedFrames_.fetch_add(static_cast<uint64_t>(count));
      return false;
    }
    Chunk& c = recordChunks_[static_cast<size_t>(recordCurrent_)];
    const int n = std::min(count, kChunkFrames - c.frames);
    std::memcpy(c.data + c.frames * 2, frames, static_cast<size_t>(n) * 4);
    c.frames += n;
    frames += n * 2;
    count -= n;
    lengthFrames_.fetch_add(n);
    positionFrames_.fetch_add(n);
    if (c.frames == kChunkFrames) PushCurrent();
  }
  return true;
}

void SoundOutFileWorker::EndTake() {
  if (recordCurrent_ >= 0 && recordChunks_[static_cast<size_t>(recordCurrent_)].frames > 0)
    PushCurrent();
  endPending_ = true;
  QueuePendingMarkers();
}

void SoundOutFileWorker::DrainRecorded() {
  int index = -1;
  while (recordFilled_.Pop(index)) {
    HandleRecorded(recordChunks_[static_cast<size_t>(index)]);
    recordFree_.Push(index);
    handled_.fetch_add(1);
  }
  KeepHeaderCurrent();
}

void SoundOutFileWorker::HandleRecorded(Chunk& chunk) {
  switch (chunk.kind) {
    case Kind::BeginOverwrite:
    case Kind::Begin:
      BeginTakeAccount(chunk.take);
      if (!file_) break;
      if (chunk.kind == Kind::BeginOverwrite) {
        static_cast<void>(file_->Restart());
        if (!file_->IsOpen()) {  // a failed restart leaves the file closed
          LoseFile(file_->Error().empty() ? "the file could not be emptied" : file_->Error());
          break;
        }
      }
      // An overwriting take made the file anew by its name, if it could.
      if (FileGone()) break;
      if (chunk.kind == Kind::Begin) file_->Seek(file_->Length());
      takeOnDisk_ = true;
      headerWritten_ = {};  // the first samples of a take show at once
      break;
    case Kind::Frames: {
      if (!file_) {
        CountRefused(chunk.frames, fileError_);
        break;
      }
      const auto frames = static_cast<uint32_t>(chunk.frames);
      const uint32_t written = file_->Write(chunk.data, frames);
      wroteToFile_ = headerStale_ = true;
      if (written < frames) CountRefused(static_cast<int>(frames - written), file_->Error());
      break;
    }
    case Kind::End:
      if (!file_) break;
      if (!file_->UpdateHeader()) NoteDiskError(file_->Error());
      takeOnDisk_ = headerStale_ = false;
      lengthFrames_ = file_->Length();
      wantedGeneration_.fetch_add(1);  // the file changed: read it in again
      break;
  }
}

void SoundOutFileWorker::KeepHeaderCurrent() {
  if (!file_ || !takeOnDisk_ || !headerStale_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - headerWritten_ < kHeaderInterval) return;
  if (FileGone()) return;
  if (!file_->UpdateHeader()) NoteDiskError(file_->Error());
  headerStale_ = false;
  headerWritten_ = now;
}

void SoundOutFileWorker::BeginTakeAccount(uint64_t take) {
  std::lock_guard lock(problemMutex_);
  takeError_.clear();
  refusedFrames_ = 0;
  refusedTake_ = take;  // after the count: a reader seeing this take sees its count
}

void SoundOutFileWorker::NoteDiskError(const std::string& why) {
  std::lock_guard lock(problemMutex_);
  if (takeError_.empty()) takeError_ = why.empty() ? "the disk refused the samples" : why;
}

void SoundOutFileWorker::CountRefused(int frames, const std::string& why) {
  refusedFrames_.fetch_add(static_cast<uint64_t>(frames));
  NoteDiskError(why);
}

std::string SoundOutFileWorker::TakeError() const {
  std::lock_guard lock(problemMutex_);
  return refusedTake_.load() == takesBegun_.load() ? takeError_ : std::string();
}

bool SoundOutFileWorker::FileGone() {
  if (!file_ || file_->StillAtItsName()) return false;
  LoseFile("another program removed or replaced the file");
  return true;
}

void SoundOutFileWorker::LoseFile(const std::string& why) {
  fileError_ = why;
  NoteDiskError(fileError_);
  file_.reset();
  takeOnDisk_ = headerStale_ = wroteToFile_ = false;
  hasFile_ = false;
  lengthFrames_ = 0;
  positionFrames_ = 0;
  wantedGeneration_.fetch_add(1);
  std::lock_guard lock(requestMutex_);
  answerError_ = fileError_;
  answer_.store(handledRequest_ << 2 | 2u, std::memory_order_release);
}

bool SoundOutFileWorker::PlaybackReady() const {
  // Until the worker has had the end of every take, what it read in is the
  // file as it was before.
  if (handled_.load() != queued_.load()) return false;
  return primedGeneration_.load() == wantedGeneration_.load();
}

void SoundOutFileWorker::StartPlayback() {
  if (playCurrent_ >= 0 &&
      playChunks_[static_cast<size_t>(playCurrent_)].generation != wantedGeneration_.load()) {
    playFree_.Push(playCurrent_);
    playCurrent_ = -1;
  }
  playLength_ = primedLength_.load();
  played_ = 0;
  positionFrames_ = 0;
}

int SoundOutFileWorker::ReadPlayback(int16_t* out, int count) {
  const uint32_t generation = wantedGeneration_.load();
  int delivered = 0;
  while (delivered < count && played_ < playLength_) {
    if (playCurrent_ < 0) {
      int index = -1;
      if (!playFilled_.Pop(index)) {
        if (!offline_.load(std::memory_order_relaxed)) break;  // the reader fell behind: silence
        Wake();
        WorkerNap();
        continue;
      }
      if (playChunks_[static_cast<size_t>(index)].generation != generation) {
        playFree_.Push(index);  // read in for a file or a start that no longer holds
        continue;
      }
      playCurrent_ = index;
      playOffset_ = 0;
    }
    Chunk& c = playChunks_[static_cast<size_t>(playCurrent_)];
    const int n = std::min(count - delivered, c.frames - playOffset_);
    std::memcpy(out + delivered * 2, c.data + playOffset_ * 2, static_cast<size_t>(n) * 4);
    delivered += n;
    playOffset_ += n;
    played_ += n;
    if (playOffset_ >= c.frames) {
      playFree_.Push(playCurrent_);
      playCurrent_ = -1;
      Wake();
    }
  }
  std::memset(out + delivered * 2, 0, static_cast<size_t>(count - delivered) * 4);
  positionFrames_ = played_;
  return delivered;
}

void SoundOutFileWorker::StopPlayback() {
  if (playCurrent_ >= 0) playFree_.Push(playCurrent_);
  playCurrent_ = -1;
  // Anything read ahead is now stale; the worker reads the start in again.
  wantedGeneration_.fetch_add(1);
  positionFrames_ = 0;
  Wake();
}

void SoundOutFileWorker::Maintain() {
  QueuePendingMarkers();
  const uint32_t generation = wantedGeneration_.load();
  if (playCurrent_ >= 0) {
    if (playChunks_[static_cast<size_t>(playCurrent_)].generation == generation) return;
    playFree_.Push(playCurrent_);
    playCurrent_ = -1;
    Wake();
  }
  int index = -1;
  while (playFilled_.Pop(index)) {
    if (playChunks_[static_cast<size_t>(index)].generation == generation) {
      playCurrent_ = index;  // the start of the file, kept for the next play
      playOffset_ = 0;
      return;
    }
    playFree_.Push(index);
    Wake();
  }
}

void SoundOutFileWorker::FillPlayback() {
  const uint32_t wanted = wantedGeneration_.load();
  if (workerGeneration_ != wanted) {
    workerGeneration_ = wanted;
    readFrame_ = 0;
    primedLength_ = file_ ? file_->Length() : 0;
    if (primedLength_.load() == 0) primedGeneration_ = wanted;
  }
  if (!file_) return;
  int index = -1;
  while (readFrame_ < primedLength_.load() && playFree_.Pop(index)) {
    Chunk& c = playChunks_[static_cast<size_t>(index)];
    file_->Seek(static_cast<uint32_t>(readFrame_));
    c.frames = static_cast<int>(file_->Read(c.data, kChunkFrames));
    c.generation = wanted;
    readFrame_ += kChunkFrames;
    playFilled_.Push(index);
    primedGeneration_ = wanted;  // the start is there: playing may begin
  }
}

void SoundOutFileWorker::Run() {
  while (running_) {
    wake_.try_acquire_for(kWorkerPoll);
    wakePending_.exchange(false, std::memory_order_acq_rel);
    std::lock_guard lock(fileMutex_);
    DrainRecorded();
    OpenRequestedFile();
    FillPlayback();
  }
}

void SoundOutFileWorker::Flush() {
  while (handled_.load() < queued_.load()) {
    Wake();
    WorkerNap();
  }
}

}  // namespace tg
