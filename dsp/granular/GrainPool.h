#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "dsp/QSVoiceAllocator.h"

namespace tg {

// A granulator's grain voices and the list of those sounding. Fewer than the
// pool's size may be allowed to sound at once ("MaxGrains").
template <typename Voice, int Size>
class GrainPool {
 public:
  GrainPool() : allocator_(voices_.data(), Size) {}
  GrainPool(const GrainPool&) = delete;
  GrainPool& operator=(const GrainPool&) = delete;

  // Audio thread: a voice for a new grain, or null when maxGrains already sound.
  Voice* Take(int maxGrains) {
    if (allocator_.ActiveCount() >= std::clamp(maxGrains, 1, Size)) return nullptr;
    return allocator_.Allocate();
  }
  // Audio thread: the voice just taken goes back (its grain ended at once).
  void GiveBackTaken() { allocator_.RetireCurrent(); }
  // Audio thread: render(voice) for every sounding voice; true means finished.
  template <typename Render>
  void RenderAll(Render&& render) {
    allocator_.VisitAndRetire(render);
  }
  // Audio thread: silences every grain.
  void ReleaseAll() { allocator_.ReleaseAll(); }
  int Sounding() const { return allocator_.ActiveCount(); }
  Voice& At(int i) { return voices_[static_cast<std::size_t>(i)]; }

 private:
  std::array<Voice, Size> voices_{};
  QSVoiceAllocator<Voice> allocator_;
};

}  // namespace tg
