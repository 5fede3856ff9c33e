#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace tg::test {

// Holds a sound loader's worker inside the read of any file whose name
// contains "slow" until opened, like a disk that hangs. Install with
// loader.SetReadHook([&](const std::string& path) { disk.Read(path); }).
class SlowDisk {
 public:
  static constexpr std::chrono::seconds kPatience{30};  // generous: the machines are shared

  void Read(const std::string& path) {
    if (path.find("slow") == std::string::npos) return;
    std::unique_lock lock(mutex_);
    held_ = true;
    changed_.notify_all();
    if (!changed_.wait_for(lock, kPatience, [this] { return open_; })) timedOut_ = true;
  }
  bool AwaitHeld() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kPatience, [this] { return held_; });
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  // Whether a held read had to give up: somebody waited for the worker.
  bool TimedOut() const {
    std::lock_guard lock(mutex_);
    return timedOut_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool open_ = false;
  bool timedOut_ = false;
};

}  // namespace tg::test
