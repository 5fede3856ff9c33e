#include "files/loading/SoundLoader.h"

#include <exception>
#include <utility>

namespace tg {

SoundLoader::~SoundLoader() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  Wake();
  if (worker_.joinable()) worker_.join();
  jobs_.clear();
  retired_.FreeAll();
}

SoundLoader& SoundLoader::Instance() {
  // The worker resolves names until the loader stops at exit, so the paths
  // are made first and thereby destroyed last.
  SoundFilePaths::Instance();
  static SoundLoader loader;
  return loader;
}

void SoundLoader::WaitUntilIdle() {
  if (IsIdle()) return;
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return IsIdle(); });
}

void SoundLoader::SetReadHook(ReadHook hook) {
  std::lock_guard lock(mutex_);
  readHook_ = std::move(hook);
}

void SoundLoader::Request(std::shared_ptr<SoundMailbox> mailbox, std::string name,
                          uint32_t generation) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    jobs_.push_back(Job{std::move(mailbox), std::move(name), generation});
    outstanding_.fetch_add(1, std::memory_order_acq_rel);
    if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
  }
  Wake();
}

void SoundLoader::Retire(SoundData* data) {
  // Counted first, so the worker's count never runs below zero.
  outstanding_.fetch_add(1, std::memory_order_acq_rel);
  retired_.Push(data);
  Wake();
}

void SoundLoader::Wake() {
  if (!wakePending_.exchange(true)) wake_.release();
}

void SoundLoader::Done(int64_t count) {
  if (count == 0) return;
  outstanding_.fetch_sub(count, std::memory_order_acq_rel);
  // Taken once after the count fell, so a waiter between its test and its
  // wait cannot miss the notice.
  { std::lock_guard lock(mutex_); }
  idle_.notify_all();
}

void SoundLoader::Run() {
  for (;;) {
    wake_.acquire();
    // Cleared before the work is looked at: whatever arrives from now on
    // wakes the worker again.
    wakePending_.store(false);
    Done(retired_.FreeAll());
    for (;;) {
      Job job;
      ReadHook hook;
      {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        if (jobs_.empty()) break;
        job = std::move(jobs_.front());
        jobs_.pop_front();
        hook = readHook_;
      }
      Serve(job, hook);
      job = Job{};  // a mailbox whose slot is gone is freed before anyone hears of the job
      Done(1);
    }
  }
}

void SoundLoader::Serve(const Job& job, const ReadHook& readHook) {
  SoundMailbox& box = *job.mailbox;
  if (box.Outdated(job.generation)) return;
  std::unique_ptr<SoundData> data;
  try {
    if (job.name.empty()) {
      data = SoundData::Silence(box.conversion);
    } else {
      const std::string& path = job.name;
      if (readHook) readHook(path);
      data = SoundData::Read(path, box.conversion);
    }
  } catch (const std::exception&) {
    data.reset();  // more than memory holds: reported like an unreadable file
  }
  if (box.Outdated(job.generation)) return;
  const bool failed = data == nullptr;
  box.lastCut.store(!failed && data->Cut(), std::memory_order_relaxed);
  // Data published before and never taken is replaced, so freed here.
  if (!failed) delete box.incoming.exchange(data.release(), std::memory_order_acq_rel);
  box.lastFailed.store(failed, std::memory_order_relaxed);
  box.finished.store(job.generation, std::memory_order_release);
}

}  // namespace tg
