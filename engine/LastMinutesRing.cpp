#include "engine/LastMinutesRing.h"

#include <algorithm>

namespace tg {

LastMinutesRing::Room::Room(int64_t size)
    : capacity(size), frames(new std::atomic<uint32_t>[static_cast<size_t>(size)]) {
  // Every page written once now, not first on the audio thread.
  for (int64_t i = 0; i < size; ++i)
    frames[static_cast<size_t>(i)].store(0, std::memory_order_relaxed);
}

void LastMinutesRing::Reserve(int64_t frames) {
  frames = std::max<int64_t>(frames, 0);
  {
    std::lock_guard lock(mutex_);
    const int64_t now = reserved_ != nullptr ? reserved_->capacity : 0;
    if (now == frames) return;
  }
  // Allocated and touched outside the mutex: a save may be copying meanwhile.
  std::shared_ptr<Room> room = frames > 0 ? std::make_shared<Room>(frames) : nullptr;
  std::lock_guard lock(mutex_);
  reserved_ = std::move(room);
}

std::shared_ptr<const void> LastMinutesRing::Engage() {
  std::lock_guard lock(mutex_);
  std::shared_ptr<const void> left = engaged_ == reserved_ ? nullptr : engaged_;
  engaged_ = reserved_;
  audio_ = reserved_.get();
  return left;
}

void LastMinutesRing::Write(const int16_t* frames, int frameCount) {
  Room* room = audio_;
  if (room == nullptr) return;
  // Published in pieces no larger than a reader allows for in flight.
  while (frameCount > kInFlight) {
    Write(frames, kInFlight);
    frames += 2 * kInFlight;
    frameCount -= kInFlight;
  }
  if (frameCount <= 0) return;
  const uint64_t start = room->written.load(std::memory_order_relaxed);
  const auto capacity = static_cast<uint64_t>(room->capacity);
  uint64_t at = start % capacity;
  for (int i = 0; i < frameCount; ++i) {
    const auto left = static_cast<uint16_t>(frames[2 * i]);
    const auto right = static_cast<uint16_t>(frames[2 * i + 1]);
    room->frames[at].store(static_cast<uint32_t>(left) | static_cast<uint32_t>(right) << 16,
                           std::memory_order_relaxed);
    if (++at == capacity) at = 0;
  }
  room->written.store(start + static_cast<uint64_t>(frameCount), std::memory_order_release);
}

std::shared_ptr<LastMinutesRing::Room> LastMinutesRing::Current() const {
  std::lock_guard lock(mutex_);
  return engaged_;
}

int64_t LastMinutesRing::FramesKept() const {
  const std::shared_ptr<Room> room = Current();
  if (room == nullptr) return 0;
  const auto written = room->written.load(std::memory_order_acquire);
  return std::min<int64_t>(static_cast<int64_t>(written), room->capacity);
}

std::vector<int16_t> LastMinutesRing::Copy() const {
  const std::shared_ptr<Room> room = Current();
  if (room == nullptr) return {};
  const auto capacity = static_cast<uint64_t>(room->capacity);
  const uint64_t end = room->written.load(std::memory_order_acquire);
  const uint64_t begin = end > capacity ? end - capacity : 0;
  std::vector<int16_t> out(static_cast<size_t>(2 * (end - begin)));
  for (uint64_t n = begin; n < end; ++n) {
    const uint32_t frame = room->frames[n % capacity].load(std::memory_order_relaxed);
    const size_t k = static_cast<size_t>(2 * (n - begin));
    out[k] = static_cast<int16_t>(static_cast<uint16_t>(frame & 0xFFFF));
    out[k + 1] = static_cast<int16_t>(static_cast<uint16_t>(frame >> 16));
  }
  // What the audio thread wrote over while we copied, or may be writing
  // over without having said so yet, is of a later time: the copy begins
  // after it.
  const uint64_t after = room->written.load(std::memory_order_acquire) + kInFlight;
  const uint64_t lost = after > begin + capacity ? after - (begin + capacity) : 0;
  const uint64_t dropped = std::min(lost, end - begin);
  out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(2 * dropped));
  return out;
}

}  // namespace tg
