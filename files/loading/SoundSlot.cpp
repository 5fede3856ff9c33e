#include "files/loading/SoundSlot.h"

#include <string>

#include "files/SoundFilePaths.h"
#include "properties/QSCStringProperty.h"

namespace tg {

SoundSlot::SoundSlot(SoundConversion conversion, SoundLoader& loader)
    : loader_(loader), mailbox_(std::make_shared<SoundMailbox>(conversion)) {}

SoundSlot::~SoundSlot() {
  mailbox_->closed.store(true, std::memory_order_release);
  delete mailbox_->incoming.exchange(nullptr, std::memory_order_acq_rel);
  delete current_;
}

void SoundSlot::Follow(QSCStringProperty& fileName) {
  fileName.SetChangeHandler([this](const std::string& name) { Load(name); });
  if (!fileName.Value().empty()) Load(fileName.Value());
}

void SoundSlot::Load(std::string_view name) {
  ++generation_;
  mailbox_->requested.store(generation_, std::memory_order_release);
  // Resolved here, when asked: the worker may run after the document's
  // directory has moved on (a restored crash copy, a save elsewhere).
  loader_.Request(mailbox_, name.empty() ? std::string() : ResolveSoundFile(name), generation_);
}

}  // namespace tg
