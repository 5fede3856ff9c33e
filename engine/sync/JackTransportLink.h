#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace tg {

// A value one thread writes and others read whole, without waiting: a
// reading that a write crossed is tried again, and given up after a few
// tries (the reader keeps what it had).
template <typename T>
class SeqLocked {
  static_assert(std::is_trivially_copyable_v<T>);
  static constexpr size_t kWords = (sizeof(T) + 7) / 8;

 public:
  // One writer at a time.
  void Store(const T& value) {
    std::array<uint64_t, kWords> words{};
    std::memcpy(words.data(), &value, sizeof(T));
    const uint32_t s = sequence_.load(std::memory_order_relaxed);
    sequence_.store(s + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (size_t i = 0; i < kWords; ++i) words_[i].store(words[i], std::memory_order_relaxed);
    sequence_.store(s + 2, std::memory_order_release);
  }
  // False before the first Store, or when writes kept crossing.
  bool Load(T& value) const {
    for (int attempt = 0; attempt < 4; ++attempt) {
      const uint32_t before = sequence_.load(std::memory_order_acquire);
      if ((before & 1U) != 0) continue;
      std::array<uint64_t, kWords> words{};
      for (size_t i = 0; i < kWords; ++i) words[i] = words_[i].load(std::memory_order_relaxed);
      std::atomic_thread_fence(std::memory_order_acquire);
      if (sequence_.load(std::memory_order_relaxed) != before) continue;
      if (before == 0) return false;
      std::memcpy(static_cast<void*>(&value), words.data(), sizeof(T));
      return true;
    }
    return false;
  }

 private:
  std::atomic<uint32_t> sequence_{0};
  std::array<std::atomic<uint64_t>, kWords> words_{};
};

// What the transport said in one of the JACK server's cycles, as the
// program's JACK client read it.
struct JackTransportReading {
  static constexpr int64_t kUnknown = INT64_MIN;

  int64_t cycle = 0;  // the server's frame at the cycle's start
  // The server's frame minus the program's rendered frame that leaves the
  // output with it (kUnknown while the output's place is not known).
  int64_t serverMinusRendered = kUnknown;
  int64_t frame = 0;   // the transport's frame at the cycle's start
  double beats = 0.0;  // beats from the start at that frame, by the timebase's bar, beat and tick
  double tempo = 0.0;  // the timebase's beats per minute
  uint32_t rolling = 0;
  uint32_t bbt = 0;  // the beats and tempo are the timebase's
};

// The clock as played, one block at a time, for whoever must tell where it
// stood at a frame already rendered (the timebase callback, the tests).
struct ClockTrailEntry {
  int64_t firstFrame = -1;  // rendered
  double position = 0.0;    // ticks at the block's start
  double samplesPerClock = 0.0;
  double tempo = 0.0;  // beats per minute the clock plays (not the block's pull)
  uint64_t running = 0;
};

// What the JACK transport and the audio thread tell each other: the JACK
// client's process thread leaves each cycle's reading, the audio thread
// each block's clock. Lock-free both ways; any thread may read.
class JackTransportLink {
 public:
  static constexpr size_t kTrailBlocks = 1024;  // about six seconds

  // UI thread: whether a JACK client reads the transport.
  void SetAttached(bool attached) { attached_.store(attached, std::memory_order_release); }
  bool Attached() const { return attached_.load(std::memory_order_acquire); }

  // The JACK client's process thread.
  void Publish(const JackTransportReading& r) { reading_.Store(r); }
  bool Read(JackTransportReading& r) const { return reading_.Load(r); }

  // The audio thread, after each live block.
  void Played(const ClockTrailEntry& e) {
    trail_[Slot(e.firstFrame)].Store(e);
    newest_.store(e.firstFrame, std::memory_order_release);
  }
  // Audio out starts: frames count from 0 again.
  void ForgetTrail() { newest_.store(-1, std::memory_order_release); }
  // The clock at a rendered frame of this run, as it was played; beyond the
  // newest block, run on from it. False when the trail no longer holds it.
  bool At(int64_t renderedFrame, double& ticks, double& tempo) const;

  // The samples per clock that a frame the transport was located to is
  // counted at (the program's own tempo), for the timebase.
  void SetLocateSamplesPerClock(double s) { locateSpc_.store(s, std::memory_order_relaxed); }
  double LocateSamplesPerClock() const { return locateSpc_.load(std::memory_order_relaxed); }
  // Whether the timebase tells the clock as it was heard (a MIDI clock leads
  // it) rather than counting the frames.
  void SetTimebaseHearsClock(bool hears) { hearsClock_.store(hears, std::memory_order_relaxed); }
  bool TimebaseHearsClock() const { return hearsClock_.load(std::memory_order_relaxed); }

 private:
  static size_t Slot(int64_t frame);

  std::atomic<bool> attached_{false};
  SeqLocked<JackTransportReading> reading_;
  std::array<SeqLocked<ClockTrailEntry>, kTrailBlocks> trail_{};
  std::atomic<int64_t> newest_{-1};
  std::atomic<double> locateSpc_{0.0};
  std::atomic<bool> hearsClock_{false};
};

}  // namespace tg
