#pragma once

#include <pthread.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace tg {

// The one lock between the user-interface thread and the audio thread. The
// audio thread holds it for every fill; the user-interface thread takes it for
// graph edits. For the user-interface side it is not counted: a second Lock
// by the holder does nothing and the first Unlock releases it.
//
// Where the system offers it, the lock inherits priority: a user-interface
// thread holding it while the real-time audio thread waits runs at the audio
// thread's priority until it lets go, so nothing of middle priority can keep
// the audio waiting. The user-interface side's longest hold is recorded (two
// clock reads a hold); the audio side is not measured.
class EngineLock {
 public:
  EngineLock() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    inheritsPriority_ = pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT) == 0 &&
                        pthread_mutex_init(&mutex_, &attributes) == 0;
    if (!inheritsPriority_) pthread_mutex_init(&mutex_, nullptr);
    pthread_mutexattr_destroy(&attributes);
  }
  ~EngineLock() { pthread_mutex_destroy(&mutex_); }
  EngineLock(const EngineLock&) = delete;
  EngineLock& operator=(const EngineLock&) = delete;

  // UI thread.
  void Lock() {
    if (IsHeldByCaller()) return;
    pthread_mutex_lock(&mutex_);
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    heldSince_ = std::chrono::steady_clock::now();
  }
  // UI thread: releases only when the caller holds it.
  void Unlock() {
    if (!IsHeldByCaller()) return;
    const auto held = std::chrono::steady_clock::now() - heldSince_;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    pthread_mutex_unlock(&mutex_);
    RecordHold(held);
  }
  bool IsHeldByCaller() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }
  // Audio thread: a plain critical section around one fill.
  void LockForService() { pthread_mutex_lock(&mutex_); }
  void UnlockForService() { pthread_mutex_unlock(&mutex_); }

  // Any thread: the longest the user-interface side has held the lock since
  // the last reset.
  std::chrono::nanoseconds LongestUiHold() const {
    return std::chrono::nanoseconds(longestHold_.load(std::memory_order_relaxed));
  }
  void ResetLongestUiHold() { longestHold_.store(0, std::memory_order_relaxed); }
  // Any thread: the hold of the user-interface side that this share of its
  // holds since the last reset did not exceed (0.99: the 99th percentile), to
  // the microsecond; holds past the last bucket count as its length.
  std::chrono::microseconds UiHoldPercentile(double share) const {
    int64_t total = 0;
    for (const auto& count : holdCounts_) total += count.load(std::memory_order_relaxed);
    int64_t seen = 0;
    for (int us = 0; us < kHoldBuckets; ++us) {
      seen += holdCounts_[static_cast<size_t>(us)].load(std::memory_order_relaxed);
      if (total > 0 && static_cast<double>(seen) >= share * static_cast<double>(total))
        return std::chrono::microseconds(us + 1);
    }
    return std::chrono::microseconds(total > 0 ? kHoldBuckets : 0);
  }
  int64_t UiHoldCount() const {
    int64_t total = 0;
    for (const auto& count : holdCounts_) total += count.load(std::memory_order_relaxed);
    return total;
  }
  void ResetUiHolds() {
    ResetLongestUiHold();
    for (auto& count : holdCounts_) count.store(0, std::memory_order_relaxed);
  }
  bool InheritsPriority() const { return inheritsPriority_; }

 private:
  void RecordHold(std::chrono::steady_clock::duration held) {
    const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(held).count();
    const int64_t bucket = std::min<int64_t>(ns / 1000, kHoldBuckets - 1);
    holdCounts_[static_cast<size_t>(bucket)].fetch_add(1, std::memory_order_relaxed);
    int64_t longest = longestHold_.load(std::memory_order_relaxed);
    while (ns > longest &&
           !longestHold_.compare_exchange_weak(longest, ns, std::memory_order_relaxed)) {
    }
  }

  pthread_mutex_t mutex_;
  bool inheritsPriority_ = false;
  std::atomic<std::thread::id> owner_{};
  std::chrono::steady_clock::time_point heldSince_{};  // the holder's, under the lock
  std::atomic<int64_t> longestHold_{0};
  // Holds by whole microseconds: bucket k counts those under k + 1 us.
  static constexpr int kHoldBuckets = 1000;
  std::array<std::atomic<int64_t>, kHoldBuckets> holdCounts_{};
};

// Holds the engine lock for a scope, unless the caller held it already, in
// which case the outer holder keeps it past this scope.
class EngineLockGuard {
 public:
  explicit EngineLockGuard(EngineLock& lock) : lock_(lock), acquired_(!lock.IsHeldByCaller()) {
    if (acquired_) lock_.Lock();
  }
  ~EngineLockGuard() {
    if (acquired_) lock_.Unlock();
  }
  EngineLockGuard(const EngineLockGuard&) = delete;
  EngineLockGuard& operator=(const EngineLockGuard&) = delete;

 private:
  EngineLock& lock_;
  bool acquired_;
};

}  // namespace tg
