#include "engine/sync/JackTransportLink.h"

#include "dsp/BlockConstants.h"

namespace tg {

size_t JackTransportLink::Slot(int64_t frame) {
  return static_cast<size_t>(frame / kBlockSize) & (kTrailBlocks - 1);
}

bool JackTransportLink::At(int64_t renderedFrame, double& ticks, double& tempo) const {
  const int64_t newest = newest_.load(std::memory_order_acquire);
  if (newest < 0 || renderedFrame < 0) return false;
  const int64_t first = renderedFrame - renderedFrame % kBlockSize;
  ClockTrailEntry e;
  if (!trail_[Slot(std::min(first, newest))].Load(e) || e.firstFrame != std::min(first, newest))
    return false;
  ticks = e.position;
  if (e.running != 0 && e.samplesPerClock > 0.0)
    ticks += static_cast<double>(renderedFrame - e.firstFrame) / e.samplesPerClock;
  tempo = e.tempo;
  return true;
}

}  // namespace tg
