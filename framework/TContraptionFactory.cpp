#include "framework/TContraptionFactory.h"

#include <algorithm>
#include <istream>

#include "framework/TGardeningContraption.h"
#include "properties/TextIO.h"

namespace tg {

namespace {

// Reads the presets block "{ {…}, {…}, … }". A block with fewer than twenty
// presets ends at its closing brace instead of reading on into the line.
void ReadPresets(TGardeningContraption& contraption, std::istream& in) {
  if (textio::OpenList(in) != textio::ListStart::Values) return;
  char c = 0;
  for (int slot = 0; slot < TGardeningContraption::kPresetCount; ++slot) {
    contraption.PresetAt(slot).ReadFrom(in);
    if (!textio::ReadChar(in, c)) return;
    if (c == '}') return;
    if (c != ',') {
      textio::Fail(in);
      return;
    }
  }
}

bool Skip(std::istream& in, int count) {
  char c = 0;
  for (int i = 0; i < count; ++i) {
    if (!textio::ReadChar(in, c)) return false;
  }
  return true;
}

// Answers whether the item has the window open (shown at once when show).
bool ReadWindowState(TGardeningContraption& contraption, std::istream& in, bool show) {
  TContraptionFormState& state = contraption.WindowState();
  char open = 'F';
  int32_t nodeX = 0, nodeY = 0, top = 0, left = 0;
  if (!Skip(in, 1) || !textio::ReadInt32(in, nodeX) || !textio::ReadInt32(in, nodeY) ||
      !textio::ReadChar(in, open) || !Skip(in, 2) || !textio::ReadInt32(in, top) ||
      !textio::ReadInt32(in, left) || !Skip(in, 5)) {
    return false;
  }
  state.nodeX = TContraptionFormState::Bounded(nodeX);
  state.nodeY = TContraptionFormState::Bounded(nodeY);
  state.windowTop = TContraptionFormState::Bounded(top);
  state.windowLeft = TContraptionFormState::Bounded(left);
  state.windowPlaced = true;
  if (open == 'T' && show) contraption.ShowWindow();
  return open == 'T';
}

}  // namespace

TContraptionFactory& TContraptionFactory::Instance() {
  static TContraptionFactory factory;
  return factory;
}

void TContraptionFactory::Register(const ContraptionDescriptor& descriptor) {
  descriptors_.push_back(std::make_unique<ContraptionDescriptor>(descriptor));
  const ContraptionDescriptor& kept = *descriptors_.back();
  const std::vector<int> sizes = kept.sizes.empty() ? std::vector<int>{0} : kept.sizes;
  for (int size : sizes) {
    std::unique_ptr<TContraptionMaker> maker =
        kept.makeMaker(kept, kept.sizes.empty() ? kept.typeName : kept.TypeNameFor(size), size);
    maker->descriptor_ = &kept;
    AddMaker(std::move(maker));
  }
}

const ContraptionDescriptor* TContraptionFactory::DescriptorForHelp(int helpNumber) const {
  if (helpNumber == 0) return nullptr;
  for (const auto& d : descriptors_) {
    if (d->helpNumber == helpNumber) return d.get();
  }
  return nullptr;
}

const ContraptionDescriptor* TContraptionFactory::DescriptorOf(const std::string& typeName) const {
  for (const auto& d : descriptors_) {
    const std::vector<std::string> names = d->TypeNames();
    if (std::find(names.begin(), names.end(), typeName) != names.end()) return d.get();
  }
  return nullptr;
}

TContraptionMaker& TContraptionFactory::AddMaker(std::unique_ptr<TContraptionMaker> maker) {
  maker->factory_ = this;
  makers_.push_back(std::move(maker));
  return *makers_.back();
}

TContraptionMaker* TContraptionFactory::MakerAt(int position) const {
  if (position < 0 || position >= MakerCount()) return nullptr;
  return makers_[static_cast<size_t>(position)].get();
}

TContraptionMaker* TContraptionFactory::FindMaker(std::string_view typeName) const {
  for (const auto& maker : makers_) {
    if (maker->TypeName() == typeName) return maker.get();
  }
  return nullptr;
}

std::vector<std::string> TContraptionFactory::Categories() const {
  std::vector<std::string> categories;
  for (const auto& maker : makers_) {
    if (std::find(categories.begin(), categories.end(), maker->Category()) == categories.end()) {
      categories.push_back(maker->Category());
    }
  }
  return categories;
}

std::vector<TContraptionMaker*> TContraptionFactory::MakersInCategory(
    std::string_view category) const {
  std::vector<TContraptionMaker*> result;
  for (const auto& maker : makers_) {
    if (maker->Category() == category) result.push_back(maker.get());
  }
  return result;
}

std::unique_ptr<TGardeningContraption> TContraptionFactory::Create(ContraptionEngine& engine,
                                                                   std::string_view typeName,
                                                                   std::string_view instanceName) {
  TContraptionMaker* maker = FindMaker(typeName);
  return maker == nullptr ? nullptr : maker->Create(engine, instanceName);
}

TGardeningContraption* TContraptionFactory::FindContraption(std::string_view name) const {
  for (TGardeningContraption* c : contraptions_) {
    if (c->Name() == name) return c;
  }
  return nullptr;
}

void TContraptionFactory::ResetNumbering() {
  for (const auto& maker : makers_) maker->ResetNumbering();
}

void TContraptionFactory::Forget(TGardeningContraption& contraption) {
  auto it = std::find(contraptions_.begin(), contraptions_.end(), &contraption);
  if (it != contraptions_.end()) contraptions_.erase(it);
}

std::unique_ptr<TGardeningContraption> TContraptionFactory::ReadContraption(
    ContraptionEngine& engine, std::istream& in) {
  std::string typeName;
  std::string instanceName;
  if (!textio::ReadToken(in, typeName, kMaxNameLength) ||
      !textio::ReadToken(in, instanceName, kMaxNameLength)) {
    return nullptr;
  }
  auto contraption = Create(engine, typeName, instanceName);
  if (contraption == nullptr) return nullptr;
  ReadItemBody(*contraption, in, true);
  return contraption;
}

std::unique_ptr<TGardeningContraption> TContraptionFactory::ReadPastedContraption(
    ContraptionEngine& engine, std::istream& in, PastedItem& item) {
  std::string typeName;
  item = {};
  if (!textio::ReadToken(in, typeName, kMaxNameLength) ||
      !textio::ReadToken(in, item.originalName, kMaxNameLength)) {
    return nullptr;
  }
  auto contraption = Create(engine, typeName, "");
  if (contraption == nullptr) return nullptr;
  item.windowWanted = ReadItemBody(*contraption, in, false);
  return contraption;
}

bool TContraptionFactory::ReadItemBody(TGardeningContraption& contraption, std::istream& in,
                                       bool showWindow) {
  QSSignalProcessor& processor = contraption.Processor();
  processor.ReadProperties(in);
  processor.Reset();
  if (in) ReadPresets(contraption, in);
  if (in) Skip(in, 2);  // the reserved block "{ }"
  return in && ReadWindowState(contraption, in, showWindow);
}

}  // namespace tg
