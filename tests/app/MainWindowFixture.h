#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/document/KWDocument.h"
#include "app/mainwindow/TMainForm.h"
#include "app/patch/PatchModel.h"
#include "contraptions/RegisterContraptions.h"
#include "engine/TAudioEngineModule.h"
#include "engine/devices/WaveDeviceLayers.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "framework/TContraptionFactory.h"
#include "framework/host/MemorySettingsStore.h"
#include "framework/host/StreamUserMessages.h"
#include "tests/support/ScriptedQueries.h"

namespace tg::test {

// The main window on the silent device, with settings in memory.
class MainWindowFixture : public ::testing::Test {
 protected:
  MainWindowFixture() {
    RegisterContraptionTypes(factory);
    // Small enough that Qt converts the window's images on this thread: its
    // worker threads are not instrumented and would trouble ThreadSanitizer.
    const std::string group = SettingsGroup("Main Window");
    settings.WriteInt(group, "Width", 480);
    settings.WriteInt(group, "Height", 270);
    auto out = std::make_unique<KWWaveOutStream>(layer);
    auto in = std::make_unique<KWWaveInStream>(layer);
    options.outStream = out.get();
    options.inStream = in.get();
    options.queries = &queries;
    options.messages = &messages;
    engine =
        std::make_unique<TAudioEngineModule>(factory, std::move(out), std::move(in), &settings);
  }
  ~MainWindowFixture() override {
    form.reset();
    engine.reset();
  }

  TMainForm& Form(CommandLine commandLine = {}) {
    if (!form) {
      form = std::make_unique<TMainForm>(*engine, settings, std::move(commandLine), options);
      form->resize(480, 270);
    }
    return *form;
  }
  PatchNode* Node(const std::string& name) {
    PatchModel& model = Form().Model();
    for (int i = 0; i < model.NodeCount(); ++i) {
      if (model.NodeAt(i).caption == name) return &model.NodeAt(i);
    }
    return nullptr;
  }
  std::string LastMessage() const {
    return messages.Messages().empty() ? std::string() : messages.Messages().back().text;
  }

  TContraptionFactory factory;
  MemorySettingsStore settings;
  SilentWaveDeviceLayer layer;
  ScriptedQueries queries;
  StreamUserMessages messages{nullptr};
  TMainForm::Options options;
  std::unique_ptr<TAudioEngineModule> engine;
  std::unique_ptr<TMainForm> form;
};

}  // namespace tg::test
