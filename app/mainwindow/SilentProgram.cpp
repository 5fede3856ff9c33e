#include "app/mainwindow/SilentProgram.h"

#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "shell/RegisterContraptions.h"

namespace tg {

SilentProgram::SilentProgram() {
  RegisterContraptionTypes(factory);
  auto out = std::make_unique<KWWaveOutStream>(layer);
  auto in = std::make_unique<KWWaveInStream>(layer);
  options.outStream = out.get();
  options.inStream = in.get();
  engine = std::make_unique<TAudioEngineModule>(factory, std::move(out), std::move(in), &settings);
}

SilentProgram::~SilentProgram() = default;

}  // namespace tg
