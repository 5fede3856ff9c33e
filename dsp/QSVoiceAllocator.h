#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tg {

// Hands out voices from a fixed pool and keeps the list of sounding ones,
// without allocating after construction. The voices belong to the owner.
template <typename Voice>
class QSVoiceAllocator {
 public:
  QSVoiceAllocator(Voice* voices, int32_t capacity)
      : capacity_(capacity),
        freeTop_(capacity - 1),
        freeStack_(static_cast<std::size_t>(capacity)),
        active_(static_cast<std::size_t>(capacity)) {
    for (int32_t i = 0; i < capacity; ++i) freeStack_[static_cast<std::size_t>(i)] = &voices[i];
  }
  QSVoiceAllocator(const QSVoiceAllocator&) = delete;
  QSVoiceAllocator& operator=(const QSVoiceAllocator&) = delete;

  // Audio thread: a free voice, now sounding, or null when all are in use.
  Voice* Allocate() {
    if (activeCount_ >= capacity_) return nullptr;
    Voice* v = freeStack_[static_cast<std::size_t>(freeTop_--)];
    current_ = activeCount_;
    active_[static_cast<std::size_t>(activeCount_++)] = v;
    return v;
  }
  // Audio thread: calls render(voice) for every sounding voice; a voice for
  // which it answers true (finished) goes back to the pool, and the last
  // sounding voice takes its place and is visited next.
  template <typename Render>
  void VisitAndRetire(Render&& render) {
    for (current_ = 0; current_ < activeCount_; ++current_) {
      if (render(*active_[static_cast<std::size_t>(current_)])) RetireCurrent();
    }
  }
  // Audio thread: the voice at the current index (the one just allocated, or
  // being visited) goes back to the pool; the last sounding voice takes its
  // place, and the current index steps back so that it is visited next.
  void RetireCurrent() {
    if (current_ < 0 || current_ >= activeCount_) return;
    freeStack_[static_cast<std::size_t>(++freeTop_)] = active_[static_cast<std::size_t>(current_)];
    --activeCount_;
    active_[static_cast<std::size_t>(current_)] = active_[static_cast<std::size_t>(activeCount_)];
    --current_;
  }
  // Audio thread: every voice goes back to the pool.
  void ReleaseAll() {
    while (activeCount_ > 0) {
      --activeCount_;
      freeStack_[static_cast<std::size_t>(++freeTop_)] =
          active_[static_cast<std::size_t>(activeCount_)];
    }
  }

  int32_t Capacity() const { return capacity_; }
  int32_t ActiveCount() const { return activeCount_; }
  int32_t FreeTop() const { return freeTop_; }
  int32_t CurrentIndex() const { return current_; }
  Voice* ActiveAt(int32_t i) const { return active_[static_cast<std::size_t>(i)]; }

 private:
  int32_t capacity_;
  int32_t activeCount_ = 0;
  int32_t freeTop_;
  std::vector<Voice*> freeStack_;
  std::vector<Voice*> active_;
  int32_t current_ = -1;
};

}  // namespace tg
