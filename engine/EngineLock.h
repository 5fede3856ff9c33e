#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace tg {

// The one lock between the user-interface thread and the audio thread. The
// audio thread holds it for every fill; the user-interface thread takes it for
// graph edits. For the user-interface side it is not counted: a second Lock
// by the holder does nothing and the first Unlock releases it.
class EngineLock {
 public:
  // UI thread.
  void Lock() {
    if (IsHeldByCaller()) return;
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  // UI thread: releases only when the caller holds it.
  void Unlock() {
    if (!IsHeldByCaller()) return;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }
  bool IsHeldByCaller() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }
  // Audio thread: a plain critical section around one fill.
  void LockForService() { mutex_.lock(); }
  void UnlockForService() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
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
