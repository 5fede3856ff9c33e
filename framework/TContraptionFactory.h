#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/ContraptionDescriptor.h"
#include "framework/TContraptionMaker.h"

namespace tg {

class ContraptionEngine;
class TGardeningContraption;

// The registry of contraption types, in registration order, and the list of
// live contraptions, in order of creation. UI thread only.
class TContraptionFactory {
 public:
  // Longest type or instance name a document may give.
  static constexpr size_t kMaxNameLength = 199;

  TContraptionFactory() = default;
  TContraptionFactory(const TContraptionFactory&) = delete;
  TContraptionFactory& operator=(const TContraptionFactory&) = delete;

  // The program's one factory, created on first use.
  static TContraptionFactory& Instance();

  // Registers a type, or every type of a family, as its descriptor says.
  void Register(const ContraptionDescriptor& descriptor);
  // The descriptors in registration order.
  const std::vector<std::unique_ptr<ContraptionDescriptor>>& Descriptors() const {
    return descriptors_;
  }
  // The descriptor of the type with a help number, or null.
  const ContraptionDescriptor* DescriptorForHelp(int helpNumber) const;
  // The descriptor that registered a type name, or null.
  const ContraptionDescriptor* DescriptorOf(const std::string& typeName) const;

  TContraptionMaker& AddMaker(std::unique_ptr<TContraptionMaker> maker);
  template <typename Maker, typename... Args>
  Maker& Emplace(Args&&... args) {
    return static_cast<Maker&>(AddMaker(std::make_unique<Maker>(std::forward<Args>(args)...)));
  }

  int MakerCount() const { return static_cast<int>(makers_.size()); }
  // Nothing outside 0..MakerCount()-1.
  TContraptionMaker* MakerAt(int position) const;
  TContraptionMaker* FindMaker(std::string_view typeName) const;
  // The categories in the order their first type registered.
  std::vector<std::string> Categories() const;
  std::vector<TContraptionMaker*> MakersInCategory(std::string_view category) const;

  // A new contraption of a type (exact, case-sensitive), or nothing when no
  // type has that name or the type refuses.
  std::unique_ptr<TGardeningContraption> Create(ContraptionEngine& engine,
                                                std::string_view typeName,
                                                std::string_view instanceName);
  // The first live contraption of that name, in creation order.
  TGardeningContraption* FindContraption(std::string_view name) const;
  const std::vector<TGardeningContraption*>& Contraptions() const { return contraptions_; }
  // A fresh document numbers every type from 1 again.
  void ResetNumbering();

  // Reads one contraption item of a document: type, name, values, presets,
  // reserved block and window state. Nothing when the type is unknown, the
  // type refuses or a name is longer than kMaxNameLength; the rest of the
  // line is then left to the caller. A malformed item leaves the stream
  // failed and answers the contraption with what was read.
  std::unique_ptr<TGardeningContraption> ReadContraption(ContraptionEngine& engine,
                                                         std::istream& in);
  // How a pasted item is read: under a new automatic name instead of its
  // own, and with its window left shut (windowWanted tells whether the item
  // had it open), so the paste decides where it opens.
  struct PastedItem {
    std::string originalName;
    bool windowWanted = false;
  };
  std::unique_ptr<TGardeningContraption> ReadPastedContraption(ContraptionEngine& engine,
                                                               std::istream& in, PastedItem& item);

 private:
  friend class TContraptionMaker;
  // Values, presets and window state; whether the item has its window open.
  static bool ReadItemBody(TGardeningContraption& contraption, std::istream& in, bool showWindow);
  void Forget(TGardeningContraption& contraption);

  std::vector<std::unique_ptr<ContraptionDescriptor>> descriptors_;
  std::vector<std::unique_ptr<TContraptionMaker>> makers_;
  std::vector<TGardeningContraption*> contraptions_;
};

}  // namespace tg
