#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tg {

class ContraptionEngine;
class TContraptionFactory;
struct ContraptionDescriptor;
class TGardeningContraption;

// Describes one contraption type and makes its contraptions. It also hands
// out the instance numbers of the automatic names Type_1, Type_2, …
class TContraptionMaker {
 public:
  static constexpr int kMaxInstanceNumber = 1024;
  static constexpr uint64_t kDefaultInstanceMemory = 64 * 1024;

  TContraptionMaker(std::string typeName, std::string category, int helpNumber,
                    bool singleInstance);
  virtual ~TContraptionMaker() = default;
  TContraptionMaker(const TContraptionMaker&) = delete;
  TContraptionMaker& operator=(const TContraptionMaker&) = delete;

  // UI thread: a new contraption whose processor is in no signal context yet,
  // or nothing when the type refuses. An empty name asks for an automatic one.
  virtual std::unique_ptr<TGardeningContraption> Create(ContraptionEngine& engine,
                                                        std::string_view name) = 0;

  // About how much memory one contraption of the type takes, with its buffers.
  virtual uint64_t InstanceMemory() const { return kDefaultInstanceMemory; }
  // The same for one a document describes: values is the text of its value
  // list ("{ … }"), so that a type that plays a sound file counts the file it
  // names, found from documentDirectory.
  virtual uint64_t InstanceMemory(std::string_view /*values*/,
                                  std::string_view /*documentDirectory*/) const {
    return InstanceMemory();
  }

  const std::string& TypeName() const { return typeName_; }
  const std::string& Category() const { return category_; }
  int HelpNumber() const { return helpNumber_; }
  bool IsSingleInstance() const { return singleInstance_; }
  TGardeningContraption* Instance() const { return instance_; }
  TContraptionFactory* Factory() const { return factory_; }
  // The descriptor the type was registered with (null for a maker added alone).
  const ContraptionDescriptor* Descriptor() const { return descriptor_; }

  // Called by the contraption at construction: settles its name and lists it.
  std::string Register(TGardeningContraption& contraption, std::string_view name);
  // Called by the contraption at destruction: frees its number and unlists it.
  void Unregister(TGardeningContraption& contraption);
  // Called by a contraption given another name: the old number is free, the new one taken.
  void Renamed(std::string_view from, std::string_view to);
  void ResetNumbering() { usedNumbers_.fill(0); }
  bool IsNumberUsed(int number) const;

 private:
  friend class TContraptionFactory;
  void MarkNumber(int number, bool used);
  int TakeLowestFreeNumber();

  TContraptionFactory* factory_ = nullptr;
  const ContraptionDescriptor* descriptor_ = nullptr;
  std::string typeName_;
  std::string category_;
  int helpNumber_;
  std::array<uint32_t, kMaxInstanceNumber / 32> usedNumbers_{};
  bool singleInstance_;
  TGardeningContraption* instance_ = nullptr;
};

// The maker of an ordinary type: each contraption owns a new processor.
template <typename Processor>
class TMakerTemplate final : public TContraptionMaker {
 public:
  using TContraptionMaker::TContraptionMaker;
  std::unique_ptr<TGardeningContraption> Create(ContraptionEngine& engine,
                                                std::string_view name) override;
  // A processor with buffers of its own says how large they are.
  uint64_t InstanceMemory() const override {
    if constexpr (requires { Processor::BufferMemory(); }) {
      return sizeof(Processor) + Processor::BufferMemory();
    } else {
      return sizeof(Processor);
    }
  }
  // A processor that plays a sound file says how much the file it would
  // play takes.
  uint64_t InstanceMemory(std::string_view values,
                          std::string_view documentDirectory) const override {
    if constexpr (requires { Processor::SoundMemoryFor(values, documentDirectory); }) {
      return InstanceMemory() + Processor::SoundMemoryFor(values, documentDirectory);
    } else {
      return InstanceMemory();
    }
  }
};

// The number at the end of a name "Anything_12", or 0 when it has none.
int InstanceNumberOf(std::string_view name);

}  // namespace tg

#include "framework/TGardeningContraption.h"

namespace tg {

template <typename Processor>
std::unique_ptr<TGardeningContraption> TMakerTemplate<Processor>::Create(ContraptionEngine& engine,
                                                                         std::string_view name) {
  return std::make_unique<TGardeningContraption>(engine, *this,
                                                 std::make_unique<Processor>(nullptr), name);
}

}  // namespace tg
