#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tg {

// The last minutes of what went to the sound card, kept so a good moment
// that nobody was recording can still be saved. 16-bit stereo frames as
// played (after the limiter), 4 bytes a frame: five minutes take 52.9 MB.
// The audio thread only stores frames and publishes how many it wrote;
// readers copy what the count says and drop what was overwritten meanwhile.
class LastMinutesRing {
 public:
  static constexpr int64_t kFramesPerMinute = 44100 * 60;
  // The most frames the audio thread stores before it says so.
  static constexpr int kInFlight = 8192;

  LastMinutesRing() = default;
  LastMinutesRing(const LastMinutesRing&) = delete;
  LastMinutesRing& operator=(const LastMinutesRing&) = delete;

  // UI thread, audio stopped: makes room for that many frames (0 keeps
  // nothing), every page touched now so the audio thread never faults one
  // in. The same size keeps what was played before.
  void Reserve(int64_t frames);
  // UI thread, under the engine lock: the audio thread writes to the room
  // reserved last from now on. Answers the room it leaves, to be let go of
  // after the lock is released.
  std::shared_ptr<const void> Engage();
  // Audio thread: stores interleaved stereo frames.
  void Write(const int16_t* frames, int frameCount);

  // Any thread: how many frames it holds now.
  int64_t FramesKept() const;
  // Any thread, never blocking the audio thread: the frames kept, oldest
  // first, interleaved left and right.
  std::vector<int16_t> Copy() const;

 private:
  struct Room {
    explicit Room(int64_t capacity);
    int64_t capacity;
    std::unique_ptr<std::atomic<uint32_t>[]> frames;  // left in the low half
    std::atomic<uint64_t> written{0};                 // frames ever stored
  };
  std::shared_ptr<Room> Current() const;

  mutable std::mutex mutex_;        // guards reserved_ and engaged_ (not the audio thread)
  std::shared_ptr<Room> reserved_;  // the UI thread's
  std::shared_ptr<Room> engaged_;   // what readers copy from
  Room* audio_ = nullptr;           // the audio thread's, set under the engine lock
};

}  // namespace tg
