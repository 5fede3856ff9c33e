#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace tg {

// A lock-free queue of fixed capacity for one producer thread and one
// consumer thread at a time; handing over through it orders memory.
template <typename T, size_t kCapacity>
class SpscQueue {
  static_assert((kCapacity & (kCapacity - 1)) == 0, "a power of two");

 public:
  // Producer: false when full.
  bool Push(const T& value) {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == kCapacity) return false;
    slots_[tail & (kCapacity - 1)] = value;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }
  // Consumer: false when empty.
  bool Pop(T& value) {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return false;
    value = slots_[head & (kCapacity - 1)];
    head_.store(head + 1, std::memory_order_release);
    return true;
  }
  bool Empty() const {
    return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
  }

 private:
  std::array<T, kCapacity> slots_{};
  alignas(64) std::atomic<size_t> head_{0};
  alignas(64) std::atomic<size_t> tail_{0};
};

}  // namespace tg
