#include "engine/streams/DetachedOutStream.h"

namespace tg {

void DetachedOutStream::Stop() {
  active_ = false;
  lock_.Unlock();  // a caller holding the lock has it released, as with a device
}

void DetachedOutStream::Fill(int16_t* buffer, int frameCount) {
  if (!handler_) return;
  lock_.LockForService();
  handler_(buffer, frameCount);
  lock_.UnlockForService();
}

}  // namespace tg
