#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "base/SpscQueue.h"

namespace tg {

class TGWaveOutFile;

// Does SoundOut's file work on a thread of its own, so that the audio thread
// never touches the disk: recorded blocks travel to it through a lock-free
// queue of chunks, and it reads the file ahead for playback into another.
// It keeps the start of the file read in advance, so playing starts at once.
class SoundOutFileWorker {
 public:
  static constexpr int kChunkFrames = 2048;
  static constexpr int kChunkCount = 128;  // about 6 seconds each way

  SoundOutFileWorker();
  ~SoundOutFileWorker();
  SoundOutFileWorker(const SoundOutFileWorker&) = delete;
  SoundOutFileWorker& operator=(const SoundOutFileWorker&) = delete;

  // Asking for another file, in two steps. First, UI thread, engine lock
  // held (the audio thread's side of the queues is idle): answers the new
  // request's number. Then, best after the lock is released: the name of the
  // 44100 Hz stereo file to open, or create, in place of the last one; an
  // empty name only closes. Neither waits for the disk: the worker first
  // puts what was recorded for the last file on it and closes it, then
  // answers.
  uint64_t BeginRequest();
  void SendRequest(uint64_t request, const std::string& fileName);
  struct Answer {
    uint64_t request = 0;  // 0: none answered yet
    bool usable = false;
    bool lost = false;  // it was usable, but a take could not go on with it
  };
  // Any thread: the latest request answered, and whether its file is open.
  Answer LastAnswer() const {
    const uint64_t packed = answer_.load(std::memory_order_acquire);
    return {packed >> 2, (packed & 1) != 0, (packed & 2) != 0};
  }
  // UI thread, not under the engine lock: waits until the request is answered.
  void WaitForAnswer(uint64_t request);
  // UI thread: why the file of the latest answer cannot be used (or was
  // lost), in words.
  std::string AnswerError() const;
  bool HasFile() const { return hasFile_.load(); }

  // Audio thread. A take: Begin, blocks of frames, End.
  void BeginTake(bool overwrite);
  // Frames of 16-bit stereo; answers false when they had to be dropped.
  bool RecordFrames(const int16_t* frames, int count);
  void EndTake();

  // Any thread: whether the worker has put every take on the disk and read
  // in the start of the file as it is now, so playing can begin.
  bool PlaybackReady() const;
  // Audio thread: the same, once the end of the last take is on its way.
  bool ReadyToPlay() { return QueuePendingMarkers() && PlaybackReady(); }
  void StartPlayback();
  // Delivers up to count frames of the file, zeros after its end or when the
  // reader fell behind; answers the frames of the file delivered.
  int ReadPlayback(int16_t* out, int count);
  // Whether every frame of the file has been played.
  bool PlaybackFinished() const { return played_ >= playLength_; }
  void StopPlayback();
  // Audio thread, while not playing: lets go of what was read in for a file
  // or a start that no longer holds, so the worker can read in the new one.
  void Maintain();

  // Any thread: in milliseconds, as the window shows them.
  double LengthMs() const { return static_cast<double>(lengthFrames_.load()) / 44100.0 * 1000.0; }
  double PositionMs() const {
    return static_cast<double>(positionFrames_.load()) / 44100.0 * 1000.0;
  }
  // Any thread: frames of the current or last take that never reached the
  // disk: dropped because it could not keep up, or refused by it (counted
  // from 0 when a take begins).
  uint64_t LostFrames() const {
    const uint64_t take = takesBegun_.load();
    const uint64_t refused = refusedTake_.load() == take ? refusedFrames_.load() : 0;
    return droppedFrames_.load() + refused;
  }
  // UI thread: why the disk refused the current or last take (e.g. "No space
  // left on device"); empty when it took all it was given.
  std::string TakeError() const;
  // Any thread: chunks recorded but not yet on disk.
  uint64_t PendingChunks() const { return queued_.load() - handled_.load(); }

  // Offline rendering waits for the disk instead of dropping or playing
  // silence, so that renders come out the same every time.
  void SetOffline(bool offline) { offline_ = offline; }
  // UI thread: waits until everything queued so far is on disk (tests, render).
  void Flush();
  // Keeps the worker off the file while the lock lives: a disk as slow as it
  // gets, to see what recording does then.
  [[nodiscard]] std::unique_lock<std::mutex> HoldDisk() { return std::unique_lock(fileMutex_); }

  // How often the header of a take in progress is brought up to date, so a
  // take cut short by a crash stays readable by every program.
  static constexpr auto kHeaderInterval = std::chrono::milliseconds(500);

 private:
  enum class Kind : uint8_t { Begin, BeginOverwrite, Frames, End };
  struct Chunk {
    Kind kind = Kind::Frames;
    uint32_t generation = 0;
    uint64_t take = 0;  // a Begin's number of the take
    int frames = 0;
    int16_t* data = nullptr;  // kChunkFrames frames, in one of the sample stores
  };
  using IndexQueue = SpscQueue<int, 256>;

  void Run();
  // The worker, before it answers for the first file: hands the audio thread
  // the record chunks, each written once so that recording never waits on a
  // first touch of memory.
  void ReadyRecordChunks();
  void OpenRequestedFile();
  // The file mutex held: closes the file (its header brought up to date) and
  // opens the named one; answers why it cannot be used, empty when it can.
  std::string SwitchFile(const std::string& fileName);
  void DrainRecorded();
  void HandleRecorded(Chunk& chunk);
  void KeepHeaderCurrent();
  // The worker's bookkeeping of what the disk refused, per take.
  void BeginTakeAccount(uint64_t take);
  void NoteDiskError(const std::string& why);
  void CountRefused(int frames, const std::string& why);
  // The file could not be emptied for a take and is closed: no file from now
  // on, as if it could not be opened, until another is chosen.
  void LoseFile(const std::string& why);
  // Loses the file, when another program removed or replaced it: whatever
  // is written to it from then on would be gone with the last handle.
  bool FileGone();
  void FillPlayback();
  bool TakeFreeRecordChunk();
  void PushCurrent();
  bool QueueMarker(Kind kind);
  bool QueuePendingMarkers();
  // One wake-up pending at most, however often the audio thread calls, so
  // the semaphore's count stays bounded while the disk is stuck.
  void Wake() {
    if (!wakePending_.exchange(true, std::memory_order_acq_rel)) wake_.release();
  }

  // Left unwritten at first, so that an engine that never records or plays
  // a file does not pay for their pages.
  std::unique_ptr<int16_t[]> recordSamples_, playSamples_;
  bool recordChunksReady_ = false;  // the worker's
  std::vector<Chunk> recordChunks_;
  IndexQueue recordFree_, recordFilled_;  // audio → worker through filled
  int recordCurrent_ = -1;                // the chunk the audio thread fills
  // Take boundaries the audio thread could not queue yet (every chunk was
  // waiting for the disk); they go first as soon as a chunk is free.
  bool endPending_ = false;
  bool beginPending_ = false;
  bool beginOverwrites_ = false;

  std::vector<Chunk> playChunks_;
  IndexQueue playFree_, playFilled_;  // worker → audio through filled
  int playCurrent_ = -1;              // the chunk the audio thread reads
  int playOffset_ = 0;
  std::atomic<uint32_t> wantedGeneration_{1};  // what the audio thread will play
  std::atomic<uint32_t> primedGeneration_{0};  // what the worker has read in
  uint32_t workerGeneration_ = 0;
  int64_t readFrame_ = 0;  // the worker's next frame to read
  std::atomic<int64_t> primedLength_{0};
  int64_t playLength_ = 0;
  int64_t played_ = 0;

  std::atomic<int64_t> lengthFrames_{0};
  std::atomic<int64_t> positionFrames_{0};
  std::atomic<uint64_t> takesBegun_{0};     // the audio thread's count
  std::atomic<uint64_t> droppedFrames_{0};  // by the audio thread, the queue full
  std::atomic<uint64_t> refusedFrames_{0};  // by the disk, of the take below
  std::atomic<uint64_t> refusedTake_{0};
  mutable std::mutex problemMutex_;  // the worker and the UI thread
  std::string takeError_;            // the first the disk said in refusedTake_
  std::atomic<bool> offline_{false};
  std::atomic<bool> hasFile_{false};
  std::atomic<uint64_t> queued_{0}, handled_{0};

  // File requests: the UI thread and the worker, never held for disk work.
  mutable std::mutex requestMutex_;
  std::condition_variable answered_;
  std::atomic<uint64_t> lastRequest_{0};  // numbered by the UI thread
  uint64_t requested_ = 0;                // the latest sent
  std::string requestedName_;
  uint64_t handledRequest_ = 0;  // the worker's
  std::string answerError_;
  std::atomic<uint64_t> answer_{0};  // request number << 2 | lost << 1 | usable

  std::mutex fileMutex_;  // the worker (and HoldDisk); never the audio thread
  std::unique_ptr<TGWaveOutFile> file_;
  bool takeOnDisk_ = false;   // between a take's begin and end, on the worker
  bool headerStale_ = false;  // samples written since the header was
  bool wroteToFile_ = false;  // since it was opened
  std::string fileError_;     // why there is no file, when one was asked for
  std::chrono::steady_clock::time_point headerWritten_;
  std::atomic<bool> running_{true};
  std::counting_semaphore<1 << 20> wake_{0};
  std::atomic<bool> wakePending_{false};
  std::thread thread_;
};

}  // namespace tg
