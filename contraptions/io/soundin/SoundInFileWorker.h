#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "base/SpscQueue.h"
#include "files/wavefiles/ProgramRateStream.h"

namespace tg {

class QSBoolProperty;
class QSDoubleProperty;

// Reads SoundIn's file ahead on a thread of its own, at the program's rate,
// so the audio thread never touches the disk. The audio thread asks for
// playing from a frame (a new start lets go of everything read for the last
// one) and takes the frames through a lock-free queue of chunks. Looping
// and the silence before each repetition are decided as the file is read,
// about a second and a half ahead of what is heard.
class SoundInFileWorker {
 public:
  static constexpr int kChunkFrames = 1024;
  static constexpr int kChunkCount = 64;

  struct FileFacts {
    bool good = false;
    double durationMs = 0.0;  // at the file's own rate
    int64_t frames = 0;       // at the program's rate
  };
  // Called on the worker's thread once a file named to Open was tried.
  using OpenedHandler = std::function<void(const FileFacts&)>;

  SoundInFileWorker(const QSBoolProperty& loop, const QSDoubleProperty& loopDelayMs,
                    OpenedHandler opened);
  ~SoundInFileWorker();
  SoundInFileWorker(const SoundInFileWorker&) = delete;
  SoundInFileWorker& operator=(const SoundInFileWorker&) = delete;

  // UI thread: the file to read in place of the last one (empty: none).
  // Never waits for the disk; answers the request's number.
  uint64_t Open(const std::string& fileName);
  // UI thread, not under the engine lock: waits until the worker has tried
  // the file of the request.
  void WaitForAnswer(uint64_t request);
  bool Answered(uint64_t request) const;
  // UI thread: why the file cannot be played, or why playing it stopped
  // early; empty when nothing went wrong.
  std::string Problem() const;
  // Any thread: the open file's length at the program's rate.
  int64_t Frames() const { return frames_.load(); }

  // Audio thread: play from a frame at the program's rate.
  void Start(int64_t frame);
  // Audio thread: no more of what is playing; the worker stops reading.
  void Stop();
  struct Delivery {
    int frames = 0;           // frames of the play delivered, silence before a repetition included
    double locationMs = 0.0;  // where the next frame stands in the file
    bool ended = false;       // the file ended without "Loop" after those frames
    bool failed = false;      // the file could not be read on after them
  };
  // Audio thread: up to count frames into left and right (zeros after).
  // Live, a reader that fell behind means silence; offline it is waited for.
  Delivery Read(float* left, float* right, int count);

  // Offline rendering waits for the disk, so renders come out the same.
  void SetOffline(bool offline) { offline_ = offline; }

 private:
  struct Chunk {
    uint64_t generation = 0;
    int frames = 0;
    int64_t startFrame = -1;  // -1: silence before a repetition
    bool last = false;
    bool failed = false;
    float* data = nullptr;  // kChunkFrames frames of samples, in samples_
  };
  using IndexQueue = SpscQueue<int, 128>;

  void Run();
  void OpenRequested();
  void Fill();
  void FillChunk(Chunk& c);
  // Any thread: a new generation of the request word, playing or not.
  uint64_t NextGeneration(bool play);
  void ReleaseCurrent();
  void Wake() {
    if (!wakePending_.exchange(true, std::memory_order_acq_rel)) wake_.release();
  }

  const QSBoolProperty& loop_;
  const QSDoubleProperty& loopDelayMs_;
  OpenedHandler opened_;

  // Left unwritten until the worker fills them, so that an engine that never
  // plays a file never pays for its pages.
  std::unique_ptr<float[]> samples_;
  std::vector<Chunk> chunks_;
  IndexQueue free_, filled_;  // audio → worker, worker → audio

  // generation << 1 | play; the audio thread's starts and stops, and the
  // worker's opening of another file, each make a new generation.
  std::atomic<uint64_t> request_{0};
  std::atomic<int64_t> startFrame_{0};

  // The audio thread's.
  uint64_t playGeneration_ = 0;
  int current_ = -1;
  int offset_ = 0;
  double locationMs_ = 0.0;
  std::atomic<bool> offline_{false};

  // The worker's.
  ProgramRateStream stream_;
  uint64_t serving_ = 0;
  bool playing_ = false;
  bool ended_ = false;
  int64_t position_ = 0;
  int64_t silenceLeft_ = 0;
  std::atomic<int64_t> frames_{0};
  std::atomic<double> durationMs_{0.0};

  mutable std::mutex requestMutex_;
  std::condition_variable answered_;
  uint64_t requested_ = 0;
  std::string requestedName_;
  uint64_t answeredRequest_ = 0;
  std::string problem_;

  std::atomic<bool> running_{true};
  std::counting_semaphore<1 << 20> wake_{0};
  std::atomic<bool> wakePending_{false};
  std::thread thread_;
};

}  // namespace tg
