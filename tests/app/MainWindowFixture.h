#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/mainwindow/SilentProgram.h"
#include "app/mainwindow/TMainForm.h"
#include "engine/TAudioEngineModule.h"
#include "host/MemorySettingsStore.h"
#include "host/StreamUserMessages.h"
#include "shell/patch/PatchModel.h"
#include "tests/support/ScriptedQueries.h"

namespace tg::test {

// The main window on the silent device, with settings in memory.
class MainWindowFixture : public ::testing::Test {
 protected:
  MainWindowFixture() {
    // Small enough that Qt converts the window's images on this thread: its
    // worker threads are not instrumented and would trouble ThreadSanitizer.
    const std::string group = SettingsGroup("Main Window");
    settings.WriteInt(group, "Width", 480);
    settings.WriteInt(group, "Height", 270);
    options.queries = &queries;
    options.messages = &messages;
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

  SilentProgram program;
  MemorySettingsStore& settings = program.settings;
  TMainForm::Options& options = program.options;
  std::unique_ptr<TAudioEngineModule>& engine = program.engine;
  ScriptedQueries queries;
  StreamUserMessages messages{nullptr};
  std::unique_ptr<TMainForm> form;
};

}  // namespace tg::test
