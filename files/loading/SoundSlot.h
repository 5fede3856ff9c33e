#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "files/loading/SoundData.h"
#include "files/loading/SoundLoader.h"
#include "files/loading/SoundMailbox.h"

namespace tg {

class QSCStringProperty;

// The sound one processor plays, loaded from the file its text parameter
// names. Loads are asked for on the user-interface thread, when the text is
// set or read in (Follow does this), never from Process: the audio thread may
// not read texts the user-interface thread writes, and the file name is
// copied into the request where allocating is allowed. The loader's worker
// reads the file and publishes the new data; the audio thread takes it at the
// start of its next block with one pointer exchange and hands the old data
// back to the worker to be freed. Until then the old data keeps playing.
//
// The pattern for a type that plays a file:
//   QSCStringProperty file;                             // "File_0"
//   SoundSlot sound_{SoundConversion::Frames(max)};  // or ::Table(n)
//   constructor:  sound_.Follow(file);
//   Process():    const SoundData* s = sound_.Acquire();  // null: nothing yet
//   window timer: show " !" while sound_.LastLoadFailed()
class SoundSlot {
 public:
  // UI thread.
  explicit SoundSlot(SoundConversion conversion, SoundLoader& loader = SoundLoader::Instance());
  // UI thread, once the processor has left the graph (with or without the
  // engine lock): frees the data at once and never waits for a load in
  // progress, which the worker then drops.
  ~SoundSlot();
  SoundSlot(const SoundSlot&) = delete;
  SoundSlot& operator=(const SoundSlot&) = delete;

  // UI thread: loads the file the property names whenever its text is set or
  // read in, and now if it names one already. The property belongs to the
  // same processor as the slot.
  void Follow(QSCStringProperty& fileName);
  // UI thread: asks for the file a name stands for (resolved like every
  // sound-file name of a document); an empty name asks for silence.
  void Load(std::string_view name);

  // Audio thread, at the start of each block: wait-free. Takes data that
  // arrived since the last block and answers what to play for the whole
  // block; null until something arrived.
  const SoundData* Acquire() {
    if (mailbox_->incoming.load(std::memory_order_relaxed) != nullptr) {
      SoundData* arrived = mailbox_->incoming.exchange(nullptr, std::memory_order_acq_rel);
      if (arrived != nullptr) {
        if (current_ != nullptr) loader_.Retire(current_);
        current_ = arrived;
      }
    }
    return current_;
  }

  // UI thread: whether a load asked for has not finished yet.
  bool IsLoading() const {
    return mailbox_->finished.load(std::memory_order_acquire) != generation_;
  }
  // UI thread: whether the newest finished load could not read its file; the
  // data before it stays in place.
  bool LastLoadFailed() const { return mailbox_->lastFailed.load(std::memory_order_acquire); }
  // UI thread: whether the newest finished load kept only the start of a
  // file longer than the conversion takes.
  bool LastLoadCut() const { return mailbox_->lastCut.load(std::memory_order_acquire); }

 private:
  SoundLoader& loader_;
  std::shared_ptr<SoundMailbox> mailbox_;
  SoundData* current_ = nullptr;  // the audio thread's
  uint32_t generation_ = 0;       // the user-interface thread's
};

}  // namespace tg
