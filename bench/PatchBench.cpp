// tonegarden-patchbench [NODES]: how long the program takes to open a large
// patch, and how long a connect and a delete keep the engine locked in it
// (the call's whole duration, an upper bound of the hold time). Runs the main
// window on the offscreen platform with the silent device.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/document/TGDocument.h"
#include "app/mainwindow/SilentProgram.h"
#include "app/mainwindow/TMainForm.h"
#include "app/patch/PatchEditor.h"
#include "app/patch/PatchModel.h"
#include "app/render/HeadlessQueries.h"
#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "framework/host/MemorySettingsStore.h"
#include "framework/host/StreamUserMessages.h"

using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
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
  tg::TContraptionFactory& factory = program.factory;
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
  std::vector<double> open;
  for (int i = 0; i < 5; ++i) {
    tg::TMainForm form(engine, settings, {}, options);
    form.resize(1200, 800);
    form.show();
    QApplication::processEvents();
    const auto t0 = Clock::now();
    form.FileOpen();
    QApplication::processEvents();  // the pane draws the patch
    open.push_back(Ms(Clock::now() - t0));
    if (i == 4) {
      // Lock hold times while audio runs, on this patch.
      form.StartAudioOut();
      tg::PatchModel& model = form.Model();
      std::vector<double> connect, delGen, delDelay;
      // A scheduled delay with a free inlet: joining it reschedules the graph.
      tg::PatchNode* target = nullptr;
      for (int k = 0; k < model.NodeCount() && target == nullptr; ++k) {
        tg::PatchNode& n = model.NodeAt(k);
        if (n.contraption->TypeName() == "SDelay" && !model.IsInletTaken(n, 1) &&
            model.IsInletTaken(n, 0))
          target = &n;
      }
      for (int k = 0; k < 40 && target != nullptr; ++k) {
        tg::PatchNode* a = form.Patch().NewContraption("TestGen", 900, 10);
        auto t1 = Clock::now();
        engine.ConnectContraptions(*a->contraption, 0, *target->contraption, 1);
        connect.push_back(Ms(Clock::now() - t1) * 1000.0);
        engine.DisconnectContraptions(*a->contraption, 0, *target->contraption, 1);
        form.Patch().Delete(*a);
        // What deleting a node holds the lock for: unwiring, then destroying.
        for (const char* type : {"TestGen", "SDelay"}) {
          auto c = factory.Create(engine, type, "");
          engine.AttachContraption(*c);
          engine.ConnectContraptions(*c, 0, *target->contraption, 1);
          t1 = Clock::now();
          engine.DisconnectContraptions(*c, 0, *target->contraption, 1);
          const double unwire = Ms(Clock::now() - t1) * 1000.0;
          t1 = Clock::now();
          engine.DestroyContraption(std::move(c));
          (type[0] == 'T' ? delGen : delDelay).push_back(unwire + Ms(Clock::now() - t1) * 1000.0);
        }
      }
      std::printf("patch: %d contraptions, %d connections\n", model.NodeCount(),
                  model.ConnectionCount());
      auto report = [](const char* what, const std::vector<double>& v) {
        std::printf("%s: median %.1f us, max %.1f us\n", what, Median(v),
                    *std::max_element(v.begin(), v.end()));
      };
      report("connect into the scheduled graph", connect);
      report("delete a TestGen                ", delGen);
      report("delete an SDelay (frees 2 lines)", delDelay);
      std::printf("(one block of 256 frames lasts 5805 us)\n");
      form.StopAudioOut();
    }
  }
  std::printf("open the document in the main window: median %.1f ms of %zu\n", Median(open),
              open.size());
  std::filesystem::remove(file);
  return 0;
}
