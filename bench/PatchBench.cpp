// tonegarden-patchbench [NODES]: how long the program takes to open a large
// patch, and the longest time the user-interface thread holds the engine lock
// (the lock's own record of its holds) for opening it, connecting, deleting,
// changing SoundOut's file during a take and starting and stopping audio in.
// Runs the main window on the offscreen platform with the silent device.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/mainwindow/SilentProgram.h"
#include "app/mainwindow/TMainForm.h"
#include "base/EngineLock.h"
#include "contraptions/io/soundout/TGSoundOut.h"
#include "contraptions/io/soundout/TSoundOutForm.h"
#include "engine/TAudioEngineModule.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "host/MemorySettingsStore.h"
#include "host/StreamUserMessages.h"
#include "properties/NumberText.h"
#include "properties/QSPropertyTable.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "shell/patch/PatchModel.h"
#include "shell/program/HeadlessQueries.h"

using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double LongestHoldUs(const tg::EngineLock& lock) {
  return static_cast<double>(lock.LongestUiHold().count()) / 1000.0;
}

void Report(const char* what, const std::vector<double>& v) {
  if (v.empty()) {
    std::printf("%s: not measured\n", what);
    return;
  }
  std::printf("%s: median %8s, max %8s  (%zu)\n", what, tg::numbertext::Fixed(Median(v), 1).c_str(),
              tg::numbertext::Fixed(*std::max_element(v.begin(), v.end()), 1).c_str(), v.size());
}

// The 99th percentile of every hold of the lock by the user-interface thread
// since the last reset.
void HoldPercentile(const char* what, const tg::EngineLock& lock) {
  std::printf(
      "99th percentile of the user-interface thread's lock holds, %s: %lld us (%lld holds)\n", what,
      static_cast<long long>(lock.UiHoldPercentile(0.99).count()),
      static_cast<long long>(lock.UiHoldCount()));
}

// Waits for what the program does on its own (worker threads, timers),
// keeping the user-interface thread's events moving.
bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Joining into the scheduled graph and deleting contraptions whose editor
// windows are open, as the patcher pane does it.
void MeasureEdits(tg::TMainForm& form, tg::EngineLock& lock) {
  tg::PatchModel& model = form.Model();
  tg::PatchEditor& patch = form.Patch();
  // A scheduled delay with a free inlet: joining it reschedules the graph.
  tg::PatchNode* target = nullptr;
  for (int k = 0; k < model.NodeCount() && target == nullptr; ++k) {
    tg::PatchNode& n = model.NodeAt(k);
    if (n.contraption->TypeName() == "SDelay" && !model.IsInletTaken(n, 1) &&
        model.IsInletTaken(n, 0))
      target = &n;
  }
  std::vector<double> connect, delGen, delDelay;
  for (int k = 0; k < 40 && target != nullptr; ++k) {
    for (const char* type : {"TestGen", "SDelay"}) {
      tg::PatchNode* a = patch.NewContraption(type, 900, 10);
      lock.ResetLongestUiHold();
      patch.Connect(*a, 0, *target, 1);
      connect.push_back(LongestHoldUs(lock));
      a->contraption->ShowWindow();
      QApplication::processEvents();
      lock.ResetLongestUiHold();
      patch.Delete(*a);  // unwires, closes the window, destroys
      (type[0] == 'T' ? delGen : delDelay).push_back(LongestHoldUs(lock));
      QApplication::processEvents();
    }
  }
  Report("connect into the scheduled graph   ", connect);
  Report("delete a TestGen, window open      ", delGen);
  Report("delete an SDelay, window open      ", delDelay);
}

// The user picks another file in SoundOut's window while a take runs.
void MeasureSoundOutFileChange(tg::TMainForm& form, tg::EngineLock& lock) {
  tg::PatchNode* node = nullptr;
  for (int k = 0; k < form.Model().NodeCount() && node == nullptr; ++k) {
    if (form.Model().NodeAt(k).contraption->TypeName() == "SoundOut")
      node = &form.Model().NodeAt(k);
  }
  if (node == nullptr) return;
  node->contraption->ShowWindow();
  auto* window = dynamic_cast<tg::TSoundOutForm*>(form.WindowHost().WindowOf(*node->contraption));
  if (window == nullptr) return;
  auto& out = static_cast<tg::TGSoundOut&>(node->contraption->Processor());
  const std::string base =
      (std::filesystem::temp_directory_path() / "tonegarden-patchbench-").string();
  const std::string files[] = {base + "a.wav", base + "b.wav"};
  auto opened = [&] { return out.GetState() == tg::TGSoundOut::kStopped; };
  window->ChooseFile(QString::fromStdString(files[0]));
  std::vector<double> change;
  for (int k = 0; k < 10 && WaitFor(opened); ++k) {
    window->RecordClicked();
    // About a third of a second recorded, most of it on its way to the disk.
    if (!WaitFor([&] {
          return out.GetState() == tg::TGSoundOut::kRecording && out.FileLengthMs() > 300.0;
        }))
      break;
    lock.ResetLongestUiHold();
    window->ChooseFile(QString::fromStdString(files[(k + 1) % 2]));
    change.push_back(LongestHoldUs(lock));
  }
  WaitFor(opened);
  Report("SoundOut file change during a take ", change);
  for (const std::string& f : files) std::filesystem::remove(f);
}

// Audio in started and stopped with a SoundIn placed, and the SoundIn
// deleted while audio in runs.
void MeasureAudioIn(tg::TMainForm& form, tg::EngineLock& lock) {
  std::vector<double> start, stop, del;
  for (int k = 0; k < 10; ++k) {
    tg::PatchNode* soundIn = form.Patch().NewContraption("SoundIn", 900, 60);
    if (soundIn == nullptr) return;
    lock.ResetLongestUiHold();
    form.StartAudioIn();
    start.push_back(LongestHoldUs(lock));
    lock.ResetLongestUiHold();
    form.StopAudioIn();
    stop.push_back(LongestHoldUs(lock));
    form.StartAudioIn();
    lock.ResetLongestUiHold();
    form.Patch().Delete(*soundIn);  // stops audio in: no SoundIn is left
    del.push_back(LongestHoldUs(lock));
  }
  Report("start audio in                     ", start);
  Report("stop audio in                      ", stop);
  Report("delete SoundIn while audio in runs ", del);
}

// Undo and redo of wiring, deleting and a knob turn, while audio runs.
void MeasureUndo(tg::TMainForm& form, tg::EngineLock& lock) {
  tg::PatchModel& model = form.Model();
  tg::PatchEditor& patch = form.Patch();
  tg::PatchNode* target = nullptr;
  for (int k = 0; k < model.NodeCount() && target == nullptr; ++k) {
    tg::PatchNode& n = model.NodeAt(k);
    if (n.contraption->TypeName() == "SDelay" && !model.IsInletTaken(n, 1)) target = &n;
  }
  if (target == nullptr) return;
  const std::string targetName = target->contraption->Name();
  std::vector<double> undo, redo;
  auto measure = [&](std::vector<double>& into, void (tg::PatchEditor::*step)()) {
    lock.ResetLongestUiHold();
    (patch.*step)();
    into.push_back(LongestHoldUs(lock));
    QApplication::processEvents();
  };
  for (int k = 0; k < 20; ++k) {
    tg::PatchNode* gen = patch.NewContraption("TestGen", 900, 10);
    const std::string genName = gen->contraption->Name();
    patch.Connect(*gen, 0, *patch.FindNode(targetName), 1);
    tg::TGardeningContraption& delay = *patch.FindNode(targetName)->contraption;
    delay.Processor()
        .GetPropertyTable()
        ->PropertyByName("Feedback")
        .SetNumericValue(0.1 + 0.01 * k);
    delay.MarkChanged();
    patch.History().Seal();
    for (int i = 0; i < 3; ++i) measure(undo, &tg::PatchEditor::Undo);  // knob, wire, new
    for (int i = 0; i < 3; ++i) measure(redo, &tg::PatchEditor::Redo);
    patch.Delete(*patch.FindNode(genName));
    measure(undo, &tg::PatchEditor::Undo);  // the deleted generator and its wire come back
    measure(redo, &tg::PatchEditor::Redo);
    patch.Undo();
  }
  Report("undo (new, wire, knob, delete)     ", undo);
  Report("redo                               ", redo);
}

class OpenQueries final : public tg::KWDocumentQueries {
 public:
  bool AskSaveChanges(bool& cancelled) override {
    cancelled = false;
    return false;
  }
  bool AskRevert() override { return true; }
  std::string AskOpenFileName() override { return name; }
  std::string AskSaveFileName(const std::string&) override { return name; }
  std::string name;
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int nodes = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;

  tg::SilentProgram program;
  OpenQueries queries;
  tg::StreamUserMessages messages(nullptr);
  tg::TMainForm::Options& options = program.options;
  options.queries = &queries;
  options.messages = &messages;
  tg::TAudioEngineModule& engine = *program.engine;
  tg::MemorySettingsStore& settings = program.settings;
  const std::string file =
      (std::filesystem::temp_directory_path() / "tonegarden-patchbench.tgh").string();
  queries.name = file;

  // A patch of generators, delays and mixers in chains of four, into SoundOut.
  {
    tg::TMainForm form(engine, settings, {}, options);
    tg::PatchEditor& patch = form.Patch();
    tg::PatchNode* soundOut = patch.NewContraption("SoundOut", 10, 10);
    tg::PatchNode* master = patch.NewContraption("S12Mixer", 10, 60);
    patch.Connect(*master, 0, *soundOut, 0);
    patch.Connect(*master, 1, *soundOut, 1);
    int made = 2, channel = 0;
    while (made + 4 <= nodes) {
      const int x = 10 + (made % 40) * 20, y = 120 + (made / 40) * 60;
      tg::PatchNode* gen = patch.NewContraption("TestGen", x, y);
      tg::PatchNode* delay = patch.NewContraption("SDelay", x, y + 20);
      tg::PatchNode* mix = patch.NewContraption("P2Mixer", x, y + 40);
      tg::PatchNode* buss = patch.NewContraption("S2Buss", x, y + 50);
      patch.Connect(*gen, 0, *delay, 0);
      patch.Connect(*delay, 0, *mix, 0);
      patch.Connect(*mix, 0, *buss, 0);
      patch.Connect(*mix, 1, *buss, 1);
      if (channel < 12) {
        patch.Connect(*buss, 0, *master, 2 * channel);
        patch.Connect(*buss, 1, *master, 2 * channel + 1);
        ++channel;
      }
      made += 4;
    }
    while (made < nodes) {
      patch.NewContraption("TestGen", 10, 600 + made);
      ++made;
    }
    form.FileSaveAs();
  }

  // Opening, through the main window as File > Open does it.
  tg::EngineLock& lock = engine.OutStream().GetEngineLock();
  std::vector<double> open, openHold;
  lock.ResetUiHolds();
  for (int i = 0; i < 5; ++i) {
    tg::TMainForm form(engine, settings, {}, options);
    form.resize(1200, 800);
    form.show();
    QApplication::processEvents();
    const auto t0 = Clock::now();
    lock.ResetLongestUiHold();
    form.FileOpen();
    openHold.push_back(LongestHoldUs(lock));
    QApplication::processEvents();  // the pane draws the patch
    open.push_back(Ms(Clock::now() - t0));
    if (i == 4) {
      HoldPercentile("opening the document five times", lock);
      // Lock hold times while audio runs, on this patch.
      form.StartAudioOut();
      lock.ResetUiHolds();
      tg::PatchModel& model = form.Model();
      std::printf("patch: %d contraptions, %d connections\n", model.NodeCount(),
                  model.ConnectionCount());
      std::printf("longest hold of the engine lock by the user-interface thread, in us:\n");
      Report("open the document (audio stopped)  ", openHold);
      MeasureEdits(form, lock);
      MeasureUndo(form, lock);
      MeasureSoundOutFileChange(form, lock);
      MeasureAudioIn(form, lock);
      std::printf("(one block of 256 frames lasts 5805 us)\n");
      HoldPercentile("the edits above, audio running", lock);
      form.StopAudioOut();
    }
  }
  std::printf("open the document in the main window: median %s ms of %zu\n",
              tg::numbertext::Fixed(Median(open), 1).c_str(), open.size());
  std::filesystem::remove(file);
  return 0;
}
