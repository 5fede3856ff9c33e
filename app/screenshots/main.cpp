// tonegarden-screenshots DIR [DOCUMENT]: opens the main window on a document
// (silent device, settings in memory) and saves a picture of it and of every
// window and dialog the program has, for looking at them.
#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QScrollArea>
#include <QTimer>
#include <cstdio>

#include "app/dialogs/TExportAsWaveForm.h"
#include "app/dialogs/TProgressForm.h"
#include "app/dialogs/TSettingsForm.h"
#include "app/help/THelpBrowser.h"
#include "app/mainwindow/SilentProgram.h"
#include "app/mainwindow/TMainForm.h"
#include "app/patch/PatchEditor.h"
#include "app/patch/PatchModel.h"
#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "framework/forms/ContraptionWindowHost.h"
#include "framework/forms/TContraptionForm.h"
#include "framework/forms/TPresetMenuForm.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLocale::setDefault(QLocale::c());
  if (argc < 2) {
    std::fprintf(stderr, "usage: tonegarden-screenshots DIR [DOCUMENT]\n");
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  QDir().mkpath(dir.path());
  auto save = [&](QWidget& w, const char* name) {
    const QString path = dir.filePath(QString(name) + ".png");
    if (!w.grab().save(path)) std::fprintf(stderr, "could not write %s\n", qPrintable(path));
  };

  tg::SilentProgram program;
  tg::TAudioEngineModule& engine = *program.engine;
  const tg::TMainForm::Options& options = program.options;

  tg::CommandLine commandLine;
  if (argc > 2) commandLine.fileName = argv[2];
  tg::TMainForm window(engine, program.settings, commandLine, options);
  window.resize(1100, 640);
  window.show();
  window.Start();
  QApplication::processEvents();
  save(window, "main-window");

  // The editor window of every registered type that has one.
  tg::PatchEditor& patch = window.Patch();
  int y = 300;
  tg::TContraptionFactory& factory = engine.Factory();
  for (int m = 0; m < factory.MakerCount(); ++m) {
    const std::string type = factory.MakerAt(m)->TypeName();
    if (!window.WindowHost().HasWindow(type)) continue;
    tg::PatchNode* node = nullptr;
    for (int i = 0; i < patch.Model().NodeCount(); ++i) {
      if (patch.Model().NodeAt(i).contraption->TypeName() == type) node = &patch.Model().NodeAt(i);
    }
    if (node == nullptr) node = patch.NewContraption(type, 200, y += 40);
    if (node == nullptr) continue;
    node->contraption->ShowWindow();
    QApplication::processEvents();
    if (tg::TContraptionForm* form = window.WindowHost().WindowOf(*node->contraption)) {
      save(*form, ("window-" + type).c_str());
      form->close();  // keeps the pane from filling up
    }
  }

  tg::TSettingsForm settingsForm(engine, options.outStream, options.inStream, window.Messages(),
                                 &window);
  settingsForm.show();
  QApplication::processEvents();
  save(settingsForm, "settings-output");
  settingsForm.Pages()->setCurrentIndex(2);
  settingsForm.AddDirectory("/home/musician/samples");
  QApplication::processEvents();
  save(settingsForm, "settings-directories");
  settingsForm.hide();

  tg::TExportAsWaveForm exportForm(engine, window.Messages(), &window);
  exportForm.Prepare();
  exportForm.show();
  QApplication::processEvents();
  save(exportForm, "export");
  exportForm.ChooseMode(tg::WaveExportRequest::Mode::TimedSegment);
  QApplication::processEvents();
  save(exportForm, "export-seconds");
  exportForm.hide();

  tg::TProgressForm progress(&window);
  progress.Stage("Exporting to:", "/home/musician/takes/Untitled.wav");
  progress.show();
  progress.Progress(0.6);
  QApplication::processEvents();
  save(progress, "progress");
  progress.hide();

  tg::TPresetMenuForm presets;
  tg::TPresetMenuForm::SlotFlags filled{};
  filled[0] = filled[2] = filled[7] = true;
  presets.Prepare(filled, true, QPoint(40, 40));
  presets.show();
  QApplication::processEvents();
  save(presets, "preset-menu");
  presets.hide();

  window.Help().ShowTopic(1008);
  QApplication::processEvents();
  save(window.Help(), "help-sdelay");
  window.Help().ShowContents();
  QApplication::processEvents();
  save(window.Help(), "help-contents");
  window.Help().hide();
  std::printf("pictures in %s\n", qPrintable(dir.path()));
  return 0;
}
