#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "engine/devices/SpscQueue.h"

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

  // UI thread, while the audio thread is not recording or playing (engine
  // lock held): opens (or creates) a 44100 Hz stereo file, closing the last.
  // When it cannot, answers false and, with error, why in words.
  bool OpenFile(const std::string& fileName, std::string* error = nullptr);
  void CloseFile();
  bool HasFile() const { return hasFile_.load(); }

  // Audio thread. A take: Begin, blocks of frames, End.
  void BeginTake(bool overwrite);
  // Frames of 16-bit stereo; answers false when they had to be dropped.
  bool RecordFrames(const int16_t* frames, int count);
  void EndTake();

  // Audio thread. Whether the start of the file is read in and playing can begin.
  bool PlaybackReady() const;
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
  // Any thread: frames of the current or last take dropped because the disk
  // could not keep up (counted from 0 when a take begins).
  uint64_t LostFrames() const { return lostFrames_.load(); }
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
    int frames = 0;
    std::array<int16_t, kChunkFrames * 2> data{};
  };
  using IndexQueue = SpscQueue<int, 256>;

  void Run();
  void DrainRecorded();
  void HandleRecorded(Chunk& chunk);
  void KeepHeaderCurrent();
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
  std::atomic<uint64_t> lostFrames_{0};
  std::atomic<bool> offline_{false};
  std::atomic<bool> hasFile_{false};
  std::atomic<uint64_t> queued_{0}, handled_{0};

  std::mutex fileMutex_;  // the worker and the UI thread; never the audio thread
  std::unique_ptr<TGWaveOutFile> file_;
  bool takeOnDisk_ = false;   // between a take's begin and end, on the worker
  bool headerStale_ = false;  // samples written since the header was
  std::chrono::steady_clock::time_point headerWritten_;
  std::atomic<bool> running_{true};
  std::counting_semaphore<1 << 20> wake_{0};
  std::atomic<bool> wakePending_{false};
  std::thread thread_;
};

}  // namespace tg
