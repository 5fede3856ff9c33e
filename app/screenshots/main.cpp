// tonegarden-screenshots DIR [DOCUMENT]: opens the main window on a document
// (silent device, settings in memory) and saves a picture of it and of every
// window and dialog the program has, for looking at them.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/dialogs/TExportAsWaveForm.h"
#include "app/dialogs/TProgressForm.h"
#include "app/dialogs/TSettingsForm.h"
#include "app/dialogs/ThemeSettings.h"
#include "app/help/THelpBrowser.h"
#include "app/mainwindow/SilentProgram.h"
#include "app/mainwindow/TMainForm.h"
#include "app/midiwindow/TMidiLink.h"
#include "app/midiwindow/TMidiSettingsPage.h"
#include "contraptions/generators/bassline/TBasslineForm.h"
#include "contraptions/generators/bassline/TGBassline.h"
#include "contraptions/generators/drums/TDrumsForm.h"
#include "contraptions/generators/drums/TGDrums.h"
#include "contraptions/generators/loopplayer/TGLoopPlayer.h"
#include "contraptions/generators/loopplayer/TLoopPlayerForm.h"
#include "contraptions/io/soundin/TGSoundIn.h"
#include "controls/KWDWMeter.h"
#include "controls/KWStepGrid.h"
#include "controls/KWValueControl.h"
#include "dsp/QSNoiseSource.h"
#include "engine/TAudioEngineModule.h"
#include "files/SoundFilePaths.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/TContraptionForm.h"
#include "forms/TPresetMenuForm.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "properties/NumberText.h"
#include "shell/patch/PatchEditor.h"
#include "shell/patch/PatchModel.h"

namespace {

// Two short drum sounds for the sequencer's picture, made here: a falling
// sine and a burst of noise.
void WriteDrumSounds(const QString& directory) {
  const int frames = 8000;
  std::vector<int16_t> kick(frames), snare(frames);
  tg::QSNoiseSource noise(1, -1.0, 2.0);
  double phase = 0.0;
  for (int i = 0; i < frames; ++i) {
    const double fade = std::exp(-i / 2000.0);
    phase += 2.0 * 3.14159265358979 * (50.0 + 100.0 * std::exp(-i / 800.0)) / 44100.0;
    kick[static_cast<size_t>(i)] = static_cast<int16_t>(20000.0 * fade * std::sin(phase));
    snare[static_cast<size_t>(i)] = static_cast<int16_t>(12000.0 * fade * noise.Next());
  }
  for (auto [name, samples] : {std::pair{"kick.wav", &kick}, std::pair{"snare.wav", &snare}}) {
    tg::TGWaveOutFile file((directory + "/" + name).toStdString(), 44100, 1, true);
    file.Write(samples->data(), frames);
    file.Close();
  }
}

}  // namespace

// Every picture, in the look of the theme applied now.
void TakePictures(const QDir& dir, int argc, char** argv) {
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
  // Maximised on a small virtual screen the window would be cramped at a
  // scale factor of 2: keep the size asked for, so every scale shows the
  // same layout. The pictures are taken at the device pixel ratio.
  window.showNormal();
  window.resize(1100, 640);
  window.activateWindow();
  QApplication::processEvents();
  save(window, "main-window");
  if (argc > 2) {
    // The help contents' picture of a document (help/demo.png is this of the
    // demo): tall enough for the whole patch.
    window.resize(1100, 880);
    QApplication::processEvents();
    save(window, "help-picture");
    window.resize(1100, 640);
    QApplication::processEvents();
  }
  // The level meters lit part-way, as they are while something plays.
  int meterNumber = 0;
  for (tg::KWDWMeter* meter : window.findChildren<tg::KWDWMeter*>()) {
    for (int c = 0; c < meter->ChannelCount(); ++c) meter->SetValues(c, c == 0 ? 0.6f : 0.05f);
    meter->repaint();
    save(*meter, ("meter-" + std::to_string(++meterNumber)).c_str());
    meter->Clear();
  }

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

  // A knob and a fader holding the keyboard focus, to see the focus marks.
  for (const char* typeName : {"SDelay", "Flanger"}) {
    const std::string type = typeName;
    tg::PatchNode* node = nullptr;
    for (int i = 0; i < patch.Model().NodeCount(); ++i) {
      if (patch.Model().NodeAt(i).contraption->TypeName() == type) node = &patch.Model().NodeAt(i);
    }
    if (node == nullptr) node = patch.NewContraption(type, 200, y += 40);
    if (node == nullptr) continue;
    node->contraption->ShowWindow();
    tg::TContraptionForm* form = window.WindowHost().WindowOf(*node->contraption);
    if (form == nullptr) continue;
    for (QWidget* control : form->TabControls()) {
      if (qobject_cast<tg::KWValueControl*>(control) == nullptr) continue;
      control->setFocus(Qt::TabFocusReason);
      break;
    }
    QApplication::processEvents();
    std::string name = "window-";
    name.append(type).append("-focused");
    save(*form, name.c_str());
    form->close();
  }

  // The sequencers with something to show: a beat on two files, a bass line.
  QTemporaryDir sounds;
  WriteDrumSounds(sounds.path());
  tg::SoundFilePaths::Instance().SetDirectories({sounds.path().toStdString()});
  if (tg::PatchNode* node = patch.NewContraption("Drums", 40, y += 40)) {
    auto& drums = static_cast<tg::TGDrums&>(node->contraption->Processor());
    drums.File(0).SetValue("kick.wav");
    drums.File(1).SetValue("snare.wav");
    drums.Gates(0).SetValue(0x11111111);
    drums.Gates(1).SetValue(0x10101010);
    drums.Gates(2).SetValue(static_cast<int32_t>(0x55555555u));
    drums.Gates(4).SetValue(static_cast<int32_t>(0x80000000u));
    drums.volume.SetValue(0.8);
    drums.SlotMute(3).SetValue(true);
    for (int i = 0; i < tg::TGDrums::kSlots; ++i) drums.SlotVolume(i).SetValue(0.2 * (i + 1));
    node->contraption->ShowWindow();
    auto* form = dynamic_cast<tg::TDrumsForm*>(window.WindowHost().WindowOf(*node->contraption));
    QElapsedTimer waited;
    waited.start();
    while (form != nullptr && form->WatchingLoads() && waited.elapsed() < 10000) {
      QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QApplication::processEvents();
    if (form != nullptr) {
      form->Grid()->FollowPlayhead([] { return 6; });  // as if step 7 were heard
      form->Grid()->RefreshPlayhead();
      QApplication::processEvents();
      save(*form, "window-Drums-pattern");
      form->close();
    }
  }
  if (tg::PatchNode* node = patch.NewContraption("LoopPlayer", 40, y += 40)) {
    auto& loop = static_cast<tg::TGLoopPlayer&>(node->contraption->Processor());
    loop.file.SetValue("snare.wav");
    loop.barCount.SetValue(2);
    loop.phase.SetValue(-4);
    node->contraption->ShowWindow();
    auto* form =
        dynamic_cast<tg::TLoopPlayerForm*>(window.WindowHost().WindowOf(*node->contraption));
    QElapsedTimer waited;
    waited.start();
    while (form != nullptr && form->WatchingLoads() && waited.elapsed() < 10000) {
      QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QApplication::processEvents();
    if (form != nullptr) {
      save(*form, "window-LoopPlayer-file");
      form->close();
    }
  }
  // SoundIn with a file paused half-way through, looping with a pause between plays.
  for (int i = 0; i < patch.Model().NodeCount(); ++i) {
    tg::TGardeningContraption* c = patch.Model().NodeAt(i).contraption;
    if (c == nullptr || c->TypeName() != "SoundIn") continue;
    engine.SetUseInputFile(true);
    auto& in = static_cast<tg::TGSoundIn&>(c->Processor());
    in.inputFile.SetValue("snare.wav");
    in.Reset();
    in.loop.SetValue(true);
    in.loopDelay.SetValue(2000.0);
    in.location.SetValue(in.duration.Value() / 2);
    c->ShowWindow();
    QApplication::processEvents();
    if (tg::TContraptionForm* form = window.WindowHost().WindowOf(*c)) {
      save(*form, "window-SoundIn-file");
      form->close();
    }
    engine.SetUseInputFile(false);
  }
  if (tg::PatchNode* node = patch.NewContraption("Bassline", 40, y += 40)) {
    auto& bass = static_cast<tg::TGBassline&>(node->contraption->Processor());
    bass.notes0.SetValue(tg::EightChars{36, 36, 48, 0, 39, 36, 43, 41});
    bass.notes1.SetValue(tg::EightChars{36, 34, 46, 36, 0, 41, 39, 37});
    bass.gates.SetValue(0xEF77);
    bass.accents.SetValue(0x1044);
    bass.ties.SetValue(0x0180);
    bass.waveform.SetValue(1);
    bass.volume.SetValue(0.7);
    bass.cutoffFreq.SetValue(0.3);
    bass.resonance.SetValue(0.7);
    node->contraption->ShowWindow();
    QApplication::processEvents();
    if (tg::TContraptionForm* form = window.WindowHost().WindowOf(*node->contraption)) {
      save(*form, "window-Bassline-pattern");
      if (auto* bassForm = dynamic_cast<tg::TBasslineForm*>(form)) {
        emit bassForm->TransposeButton()->pressed();
        QApplication::processEvents();
        save(*bassForm->TransposePopup(), "bassline-transpose");
        bassForm->TransposePopup()->hide();
      }
      form->close();
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
  // The MIDI page with "Ableton Link" chosen, not applied: Link stays off.
  auto* midiPage = new tg::TMidiSettingsPage(window.Midi().Ports(), &settingsForm);
  settingsForm.Pages()->addTab(midiPage, "MIDI");
  settingsForm.Pages()->setCurrentWidget(midiPage);
  midiPage->ClockSourceChoice()->setCurrentIndex(
      midiPage->ClockSourceChoice()->findText("Ableton Link"));
  QApplication::processEvents();
  save(settingsForm, "settings-midi");
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
  std::printf("pictures in %s at device pixel ratio %s\n", qPrintable(dir.path()),
              tg::numbertext::General(window.devicePixelRatioF(), 6).c_str());
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLocale::setDefault(QLocale::c());
  if (argc < 2) {
    std::fprintf(stderr, "usage: tonegarden-screenshots DIR [DOCUMENT]\n");
    return 2;
  }
  // Both themes, each in a folder of its own.
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  for (const tg::StageTheme theme : {tg::StageTheme::Light, tg::StageTheme::Dark}) {
    const QString folder = dir.filePath(QString(tg::StageThemeName(theme)).toLower());
    QDir().mkpath(folder);
    tg::ApplyStageTheme(theme);
    TakePictures(QDir(folder), argc, argv);
  }
  return 0;
}
