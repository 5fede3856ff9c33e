#pragma once

#include <array>
#include <atomic>
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
  bool OpenFile(const std::string& fileName);
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
  // Frames dropped because the disk could not keep up.
  uint64_t LostFrames() const { return lostFrames_.load(); }

  // Offline rendering waits for the disk instead of dropping or playing
  // silence, so that renders come out the same every time.
  void SetOffline(bool offline) { offline_ = offline; }
  // UI thread: waits until everything queued so far is on disk (tests, render).
  void Flush();

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
  void HandleRecorded(Chunk& chunk);
  void FillPlayback();
  bool TakeFreeRecordChunk();
  void Wake() { wake_.release(); }

  std::vector<Chunk> recordChunks_;
  IndexQueue recordFree_, recordFilled_;  // audio → worker through filled
  int recordCurrent_ = -1;                // the chunk the audio thread fills

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
  std::atomic<bool> running_{true};
  std::counting_semaphore<1 << 20> wake_{0};
  std::thread thread_;
};

}  // namespace tg
