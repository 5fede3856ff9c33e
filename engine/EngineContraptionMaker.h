#pragma once

#include <string>

#include "framework/ContraptionDescriptor.h"
#include "framework/TContraptionMaker.h"

namespace tg {

class QSSignalProcessor;
class TAudioEngineModule;

// The maker of a single-instance type whose processor belongs to the engine
// (SoundIn, SoundOut): it refuses a second one with a message, and the
// contraption it makes only marks the engine's processor as placed.
class EngineContraptionMaker : public TContraptionMaker {
 public:
  EngineContraptionMaker(std::string typeName, std::string category, int helpNumber);

  std::unique_ptr<TGardeningContraption> Create(ContraptionEngine& engine,
                                                std::string_view name) override;

 protected:
  virtual bool IsPlaced(const TAudioEngineModule& engine) const = 0;
  virtual void SetPlaced(TAudioEngineModule& engine, bool placed) const = 0;
  virtual QSSignalProcessor& EngineProcessor(TAudioEngineModule& engine) const = 0;
  // Empties the processor's file name, which its Reset then acts on.
  virtual void ClearFileName(TAudioEngineModule& engine) const = 0;

 private:
  class EngineContraption;
};

class SoundOutMaker final : public EngineContraptionMaker {
 public:
  using EngineContraptionMaker::EngineContraptionMaker;

 protected:
  bool IsPlaced(const TAudioEngineModule& engine) const override;
  void SetPlaced(TAudioEngineModule& engine, bool placed) const override;
  QSSignalProcessor& EngineProcessor(TAudioEngineModule& engine) const override;
  void ClearFileName(TAudioEngineModule& engine) const override;
};

class SoundInMaker final : public EngineContraptionMaker {
 public:
  using EngineContraptionMaker::EngineContraptionMaker;

 protected:
  bool IsPlaced(const TAudioEngineModule& engine) const override;
  void SetPlaced(TAudioEngineModule& engine, bool placed) const override;
  QSSignalProcessor& EngineProcessor(TAudioEngineModule& engine) const override;
  void ClearFileName(TAudioEngineModule& engine) const override;
};

// The descriptor of one of the engine's own types: in "Input / Output", with
// its page named after the type ("soundin.html").
template <typename Maker>
ContraptionDescriptor EngineTypeDescriptor(const char* typeName, const char* page, int helpNumber) {
  return {.typeName = typeName,
          .category = "Input / Output",
          .helpNumber = helpNumber,
          .helpPage = page,
          .helpTitle = typeName,
          .makeMaker = [](const ContraptionDescriptor& d, const std::string& name,
                          int) -> std::unique_ptr<TContraptionMaker> {
            return std::make_unique<Maker>(name, d.category, d.helpNumber);
          }};
}

}  // namespace tg
