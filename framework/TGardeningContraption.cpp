#include "framework/TGardeningContraption.h"

#include <sstream>
#include <utility>

#include "framework/ContraptionEngine.h"
#include "framework/TContraptionMaker.h"
#include "host/HostServices.h"

namespace tg {

namespace {

constexpr std::string_view kPresetTag = "preset:";
constexpr size_t kCanPasteScanLength = 63;

// The word that starts right after "preset: " and ends at the next space.
std::string_view TypeWordOf(std::string_view text) {
  if (text.size() <= kPresetTag.size() + 1) return {};
  std::string_view rest = text.substr(kPresetTag.size() + 1);
  return rest.substr(0, rest.find(' '));
}

}  // namespace

TGardeningContraption::TGardeningContraption(ContraptionEngine& engine, TContraptionMaker& maker,
                                             std::unique_ptr<QSSignalProcessor> processor,
                                             std::string_view name)
    : TGardeningContraption(engine, maker, *processor, name) {
  ownedProcessor_ = std::move(processor);
}

TGardeningContraption::TGardeningContraption(ContraptionEngine& engine, TContraptionMaker& maker,
                                             QSSignalProcessor& processor, std::string_view name)
    : engine_(&engine), maker_(&maker), processor_(&processor) {
  name_ = maker.Register(*this, name);
  QSPropertyTable& table = *processor.GetPropertyTable();
  for (auto& preset : presets_) preset = std::make_unique<QSPreset>(table);
}

TGardeningContraption::~TGardeningContraption() {
  maker_->Unregister(*this);
  if (windowState_.windowOpen) engine_->Host().windows->CloseWindow(*this);
}

const std::string& TGardeningContraption::TypeName() const { return maker_->TypeName(); }

void TGardeningContraption::Rename(std::string_view name) {
  maker_->Renamed(name_, name);
  name_ = name;
}

bool TGardeningContraption::HasPreset(int index) const {
  return ValidSlot(index) && presets_[static_cast<size_t>(index)]->IsSet();
}

void TGardeningContraption::StorePreset(int index) {
  if (!ValidSlot(index)) return;
  PresetAt(index).Store();
  currentPreset_ = index;
  Edited("Store Preset " + std::to_string(index + 1));
}

void TGardeningContraption::RecallPreset(int index) {
  if (!ValidSlot(index)) return;
  const bool set = PresetAt(index).IsSet();
  PresetAt(index).Recall();
  currentPreset_ = index;
  if (set) Edited("Recall Preset " + std::to_string(index + 1));
}

void TGardeningContraption::ClearPreset(int index) {
  if (!ValidSlot(index)) return;
  const bool set = PresetAt(index).IsSet();
  PresetAt(index).Clear();
  if (index == currentPreset_) currentPreset_ = -1;
  if (set) Edited((editName_.empty() ? "Clear Preset " : editName_) + std::to_string(index + 1));
}

std::string TGardeningContraption::PresetText(int index) const {
  std::ostringstream text;
  text << kPresetTag << ' ' << TypeName() << ' ';
  presets_[static_cast<size_t>(index)]->WriteTo(text);
  return text.str();
}

void TGardeningContraption::CopyPreset(int index) {
  if (!ValidSlot(index)) return;
  engine_->Host().clipboard->SetText(PresetText(index));
}

void TGardeningContraption::CutPreset(int index) {
  if (!ValidSlot(index)) return;
  CopyPreset(index);
  editName_ = "Cut Preset ";
  ClearPreset(index);
  editName_.clear();
}

bool TGardeningContraption::CanPastePreset() const {
  const std::optional<std::string> text = engine_->Host().clipboard->Text();
  if (!text) return false;
  const std::string_view head = std::string_view(*text).substr(0, kCanPasteScanLength);
  if (head.size() <= 9 || !head.starts_with(kPresetTag)) return false;
  return TypeWordOf(head) == TypeName();
}

void TGardeningContraption::PastePreset(int index) {
  if (!ValidSlot(index)) return;
  const std::optional<std::string> text = engine_->Host().clipboard->Text();
  if (!text || text->size() < 9 || !text->starts_with(kPresetTag)) return;
  const std::string_view word = TypeWordOf(*text);
  const size_t wordEnd = kPresetTag.size() + 1 + word.size();
  if (word != TypeName() || wordEnd >= text->size()) return;  // the word must end in a space
  std::istringstream rest(text->substr(wordEnd + 1));
  // Read aside first: a preset that cannot be read leaves the slot as it was.
  QSPreset read(*processor_->GetPropertyTable());
  read.AssignFrom(PresetAt(index));
  read.ReadFrom(rest);
  if (rest.fail()) {
    engine_->Host().messages->ShowMessage("The preset in the clipboard cannot be read.",
                                          "Paste Preset", MessageIcon::Error);
    return;
  }
  PresetAt(index).AssignFrom(read);
  Edited("Paste Preset " + std::to_string(index + 1));
}

void TGardeningContraption::Edited(std::string name) {
  editName_ = std::move(name);
  engine_->Host().edits->ContraptionEdited(*this);
  editName_.clear();
}

void TGardeningContraption::CloseWindow() { engine_->Host().windows->CloseWindow(*this); }

void TGardeningContraption::WindowStateRestored() { engine_->Host().windows->RefreshWindow(*this); }

void TGardeningContraption::MarkChanged() {
  // First: the host records the state the edit leaves, which no preset describes.
  currentPreset_ = -1;
  Edited();
}

void TGardeningContraption::ShowWindow() { engine_->Host().windows->ShowWindow(*this); }

void TGardeningContraption::Help() { engine_->Host().windows->ShowHelp(maker_->TypeName()); }

}  // namespace tg
