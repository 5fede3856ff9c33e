#include "engine/EngineContraptionMaker.h"

#include "engine/TAudioEngineModule.h"

namespace tg {

// The contraption around an engine-owned processor (TEngineSoundIn,
// TEngineSoundOut): going away, it only clears the placed flag and closes
// the processor's file.
class EngineContraptionMaker::EngineContraption final : public TGardeningContraption {
 public:
  EngineContraption(TAudioEngineModule& engine, EngineContraptionMaker& maker,
                    std::string_view name)
      : TGardeningContraption(engine, maker, maker.EngineProcessor(engine), name),
        engine_(engine),
        maker_(maker) {}
  ~EngineContraption() override {
    maker_.SetPlaced(engine_, false);
    maker_.ClearFileName(engine_);
    Processor().Reset();
  }

 private:
  TAudioEngineModule& engine_;
  EngineContraptionMaker& maker_;
};

EngineContraptionMaker::EngineContraptionMaker(std::string typeName, std::string category,
                                               int helpNumber)
    : TContraptionMaker(std::move(typeName), std::move(category), helpNumber, true) {}

std::unique_ptr<TGardeningContraption> EngineContraptionMaker::Create(ContraptionEngine& site,
                                                                      std::string_view name) {
  // The engine's own processors are made by no one else.
  auto& engine = static_cast<TAudioEngineModule&>(site);
  if (IsPlaced(engine)) {
    engine.Host().messages->ShowMessage(
        "Sorry, you are only permitted to create one instance of the " + TypeName() + " object.",
        "Object instansiation failed!", MessageIcon::Exclamation);
    return nullptr;
  }
  ClearFileName(engine);
  EngineProcessor(engine).Reset();
  auto contraption = std::make_unique<EngineContraption>(engine, *this, name);
  SetPlaced(engine, true);
  return contraption;
}

bool SoundOutMaker::IsPlaced(const TAudioEngineModule& engine) const {
  return engine.HasSoundOut();
}
void SoundOutMaker::SetPlaced(TAudioEngineModule& engine, bool placed) const {
  engine.SetSoundOutPlaced(placed);
}
QSSignalProcessor& SoundOutMaker::EngineProcessor(TAudioEngineModule& engine) const {
  return engine.SoundOutProcessor();
}
void SoundOutMaker::ClearFileName(TAudioEngineModule& engine) const {
  engine.SoundOutProcessor().outputFile.SetValue("");
}

bool SoundInMaker::IsPlaced(const TAudioEngineModule& engine) const { return engine.HasSoundIn(); }
void SoundInMaker::SetPlaced(TAudioEngineModule& engine, bool placed) const {
  engine.SetSoundInPlaced(placed);
}
QSSignalProcessor& SoundInMaker::EngineProcessor(TAudioEngineModule& engine) const {
  return engine.SoundInProcessor();
}
void SoundInMaker::ClearFileName(TAudioEngineModule& engine) const {
  engine.SoundInProcessor().inputFile.SetValue("");
}

}  // namespace tg
