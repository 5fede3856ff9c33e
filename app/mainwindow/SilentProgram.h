#pragma once

#include <memory>

#include "app/mainwindow/TMainForm.h"
#include "engine/TAudioEngineModule.h"
#include "engine/devices/WaveDeviceLayers.h"
#include "framework/TContraptionFactory.h"
#include "host/MemorySettingsStore.h"

namespace tg {

// What the main window runs on, without a sound card and with settings kept
// in memory: for tools and tests. The options name the device streams; the
// caller may add stand-in queries and messages before making the window.
struct SilentProgram {
  SilentProgram();
  ~SilentProgram();
  SilentProgram(const SilentProgram&) = delete;
  SilentProgram& operator=(const SilentProgram&) = delete;

  TContraptionFactory factory;
  MemorySettingsStore settings;
  SilentWaveDeviceLayer layer;
  TMainForm::Options options;
  std::unique_ptr<TAudioEngineModule> engine;
};

}  // namespace tg
