#include "contraptions/io/soundin/SoundInFileWorker.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "dsp/BlockConstants.h"
#include "properties/QSBoolProperty.h"
#include "properties/QSDoubleProperty.h"

namespace tg {

namespace {
constexpr auto kPoll = std::chrono::milliseconds(5);
// How the audio thread waits for the disk while rendering offline.
void Nap() { std::this_thread::sleep_for(std::chrono::microseconds(100)); }

double MsAt(int64_t frame) { return static_cast<double>(frame) / kSampleRate * 1000.0; }

// Frames of silence before a repetition; the stored range allows no more
// than ten minutes, and nonsense counts as none.
int64_t DelayFrames(double ms) {
  if (!(ms > 0.0)) return 0;
  return static_cast<int64_t>(std::min(ms, 600000.0) * kSampleRate / 1000.0);
}
}  // namespace

SoundInFileWorker::SoundInFileWorker(const QSBoolProperty& loop,
                                     const QSDoubleProperty& loopDelayMs, OpenedHandler opened)
    : loop_(loop),
      loopDelayMs_(loopDelayMs),
      opened_(std::move(opened)),
      samples_(std::make_unique_for_overwrite<float[]>(size_t{kChunkCount} * kChunkFrames * 2)),
      chunks_(kChunkCount) {
  for (int i = 0; i < kChunkCount; ++i) {
    chunks_[static_cast<size_t>(i)].data = samples_.get() + size_t{kChunkFrames} * 2 * i;
    free_.Push(i);
  }
  thread_ = std::thread([this] { Run(); });
}

SoundInFileWorker::~SoundInFileWorker() {
  running_ = false;
  Wake();
  thread_.join();
}

uint64_t SoundInFileWorker::Open(const std::string& fileName) {
  uint64_t request = 0;
  {
    std::lock_guard lock(requestMutex_);
    request = ++requested_;
    requestedName_ = fileName;
  }
  Wake();
  return request;
}

void SoundInFileWorker::WaitForAnswer(uint64_t request) {
  std::unique_lock lock(requestMutex_);
  answered_.wait(lock, [&] { return answeredRequest_ >= request; });
}

bool SoundInFileWorker::Answered(uint64_t request) const {
  std::lock_guard lock(requestMutex_);
  return answeredRequest_ >= request;
}

std::string SoundInFileWorker::Problem() const {
  std::lock_guard lock(requestMutex_);
  return problem_;
}

uint64_t SoundInFileWorker::NextGeneration(bool play) {
  uint64_t old = request_.load(std::memory_order_relaxed);
  uint64_t next = 0;
  do {
    next = ((old >> 1) + 1) << 1 | (play ? 1u : 0u);
  } while (!request_.compare_exchange_weak(old, next, std::memory_order_acq_rel));
  return next >> 1;
}

void SoundInFileWorker::Start(int64_t frame) {
  ReleaseCurrent();
  startFrame_.store(frame, std::memory_order_relaxed);
  playGeneration_ = NextGeneration(true);  // publishes the start with it
  locationMs_ = MsAt(frame);
  Wake();
}

void SoundInFileWorker::Stop() {
  ReleaseCurrent();
  NextGeneration(false);
  int index = -1;
  while (filled_.Pop(index)) free_.Push(index);
  Wake();
}

void SoundInFileWorker::ReleaseCurrent() {
  if (current_ >= 0) free_.Push(current_);
  current_ = -1;
}

SoundInFileWorker::Delivery SoundInFileWorker::Read(float* left, float* right, int count) {
  Delivery d;
  while (d.frames < count) {
    if (current_ < 0) {
      int index = -1;
      if (!filled_.Pop(index)) {
        // Live, the reader fell behind: silence. Offline it is waited for,
        // unless another file took the place of the one asked for.
        const bool stillOurs = (request_.load(std::memory_order_acquire) >> 1) == playGeneration_;
        if (!offline_.load(std::memory_order_relaxed) || !stillOurs) break;
        Wake();
        Nap();
        continue;
      }
      if (chunks_[static_cast<size_t>(index)].generation != playGeneration_) {
        free_.Push(index);  // read for a start that no longer holds
        Wake();
        continue;
      }
      current_ = index;
      offset_ = 0;
    }
    const Chunk& c = chunks_[static_cast<size_t>(current_)];
    const int n = std::min(count - d.frames, c.frames - offset_);
    const float* from = c.data + offset_ * 2;
    for (int i = 0; i < n; ++i) {
      left[d.frames + i] = from[i * 2];
      right[d.frames + i] = from[i * 2 + 1];
    }
    d.frames += n;
    offset_ += n;
    locationMs_ = c.startFrame < 0 ? durationMs_.load(std::memory_order_relaxed)
                                   : MsAt(c.startFrame + offset_);
    if (offset_ < c.frames) continue;
    d.ended = c.last;
    d.failed = c.failed;
    ReleaseCurrent();
    Wake();
    if (d.ended || d.failed) break;
  }
  std::fill(left + d.frames, left + count, 0.0f);
  std::fill(right + d.frames, right + count, 0.0f);
  d.locationMs = locationMs_;
  return d;
}

void SoundInFileWorker::OpenRequested() {
  uint64_t request = 0;
  std::string name;
  {
    std::lock_guard lock(requestMutex_);
    if (requested_ == answeredRequest_) return;
    request = requested_;
    name = requestedName_;
  }
  FileFacts facts;
  std::string problem;
  if (name.empty()) {
    stream_.Close();
  } else if (stream_.Open(name)) {
    facts.good = true;
    facts.frames = stream_.Frames();
    const WaveInfo& info = stream_.Info();
    facts.durationMs = static_cast<double>(info.frames) / info.sampleRate * 1000.0;
  } else {
    problem = stream_.Error();
  }
  frames_ = facts.frames;
  durationMs_ = facts.durationMs;
  // Whatever was read from the last file is of no use now. Serving exactly
  // the generation made here: a start the audio thread makes after it is
  // then still news to Fill.
  serving_ = NextGeneration(false);
  playing_ = false;
  if (opened_) opened_(facts);
  {
    std::lock_guard lock(requestMutex_);
    answeredRequest_ = request;
    problem_ = std::move(problem);
  }
  answered_.notify_all();
}

void SoundInFileWorker::FillChunk(Chunk& c) {
  c.generation = serving_;
  c.last = c.failed = false;
  if (silenceLeft_ > 0) {
    c.frames = static_cast<int>(std::min<int64_t>(silenceLeft_, kChunkFrames));
    std::fill(c.data, c.data + c.frames * 2, 0.0f);
    c.startFrame = -1;
    silenceLeft_ -= c.frames;
    if (silenceLeft_ == 0) position_ = 0;
    return;
  }
  stream_.Seek(position_);
  c.startFrame = position_;
  c.frames = stream_.Read(c.data, kChunkFrames);
  position_ += c.frames;
  if (stream_.Failed()) {
    c.failed = ended_ = true;
    std::lock_guard lock(requestMutex_);
    problem_ = stream_.Error();
    return;
  }
  if (position_ < stream_.Frames()) return;
  // An empty file would repeat nothing forever.
  if (loop_.Value() && stream_.Frames() > 0) {
    silenceLeft_ = DelayFrames(loopDelayMs_.Value());
    if (silenceLeft_ == 0) position_ = 0;
  } else {
    c.last = ended_ = true;
  }
}

void SoundInFileWorker::Fill() {
  const uint64_t request = request_.load(std::memory_order_acquire);
  if ((request >> 1) != serving_) {
    serving_ = request >> 1;
    playing_ = (request & 1) != 0;
    position_ =
        std::clamp<int64_t>(startFrame_.load(std::memory_order_relaxed), 0, stream_.Frames());
    silenceLeft_ = 0;
    ended_ = false;
  }
  if (!playing_) return;
  int index = -1;
  // A new start while filling tags the rest with the old generation, which
  // the audio thread lets go of.
  while (!ended_ && (request_.load(std::memory_order_acquire) >> 1) == serving_ &&
         free_.Pop(index)) {
    Chunk& c = chunks_[static_cast<size_t>(index)];
    if (!stream_.IsOpen()) {
      // Asked to play with no file: the play ends at once.
      c.generation = serving_;
      c.frames = 0;
      c.startFrame = 0;
      c.last = true;
      c.failed = false;
      ended_ = true;
    } else {
      FillChunk(c);
    }
    filled_.Push(index);
  }
}

void SoundInFileWorker::Run() {
  while (running_) {
    wake_.try_acquire_for(kPoll);
    wakePending_.exchange(false, std::memory_order_acq_rel);
    OpenRequested();
    Fill();
  }
}

}  // namespace tg
