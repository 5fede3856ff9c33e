// tonegarden: the program with its main window.
#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QSplashScreen>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/dialogs/ThemeSettings.h"
#include "app/host/QtHostServices.h"
#include "app/mainwindow/TMainForm.h"
#include "engine/TAudioEngineModule.h"
#include "engine/devices/WaveDeviceLayers.h"
#include "engine/streams/FirstStartLatency.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "framework/TContraptionFactory.h"
#include "shell/RegisterContraptions.h"
#include "shell/document/RecoveryFiles.h"
#include "shell/program/CommandLine.h"

namespace {

QPixmap SplashPicture() {
  QPixmap pixmap(360, 140);
  pixmap.fill(QColor(0x35, 0x57, 0x3c));
  QPainter p(&pixmap);
  p.setPen(QColor(0xee, 0xf5, 0xea));
  QFont title = p.font();
  title.setPointSize(26);
  title.setBold(true);
  p.setFont(title);
  p.drawText(QRect(0, 20, 360, 60), Qt::AlignCenter, "Tonegarden");
  QFont small = p.font();
  small.setPointSize(10);
  small.setBold(false);
  p.setFont(small);
  p.drawText(QRect(0, 80, 360, 30), Qt::AlignCenter, "modular music for the stage  -  0.7");
  return pixmap;
}

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit must fail the write that meets it (and be reported),
  // not end the program with the patch.
  std::signal(SIGXFSZ, SIG_IGN);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tonegarden");
  QApplication::setOrganizationName("Kestrelworks");
  QApplication::setApplicationDisplayName("Tonegarden");
  QApplication::setDesktopFileName("tonegarden");
  // Numbers in documents and fields always use ".".
  QLocale::setDefault(QLocale::c());
  QElapsedTimer clock;
  clock.start();

  std::vector<std::string> args;
  args.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
  const tg::CommandLine commandLine = tg::ParseCommandLine(args);
  if (commandLine.error) {
    QMessageBox::critical(nullptr, tg::kCommandLineErrorCaption,
                          QString::fromStdString(*commandLine.error));
  }

  QSplashScreen splash(SplashPicture());
  const bool quiet = qEnvironmentVariableIsSet("TONEGARDEN_NO_SPLASH");
  if (!quiet) splash.show();
  QTimer::singleShot(1500, &splash, &QWidget::close);

  tg::TContraptionFactory factory;
  tg::RegisterContraptionTypes(factory);
  tg::QtSettingsStore settings;
  tg::ApplyStageTheme(tg::LoadStageTheme(settings));
  // TONEGARDEN_AUDIO=silent runs without a sound card (demos, screenshots).
  std::unique_ptr<tg::WaveDeviceLayer> layer;
  if (qgetenv("TONEGARDEN_AUDIO") == "silent") {
    layer = std::make_unique<tg::SilentWaveDeviceLayer>();
  } else {
    layer = std::make_unique<tg::StandardWaveDeviceLayer>();
  }
  auto out = std::make_unique<tg::KWWaveOutStream>(*layer);
  auto in = std::make_unique<tg::KWWaveInStream>(*layer);
  // The first start plays a few seconds of silence to find the smallest
  // buffers this machine keeps up with, and stores them.
  if (tg::FirstStartLatency::IsFirstStart(settings)) {
    if (!quiet) {
      splash.showMessage("Finding the shortest latency this computer plays cleanly...",
                         Qt::AlignBottom | Qt::AlignHCenter, QColor(0xee, 0xf5, 0xea));
      QApplication::processEvents();
    }
    QElapsedTimer probing;
    probing.start();
    const auto choice = tg::FirstStartLatency::OnFirstStart(settings, *out, *in);
    if (qEnvironmentVariableIsSet("TONEGARDEN_REPORT_STARTUP") && choice) {
      std::fprintf(stderr, "first start: %d x %d bytes, chosen in %lld ms\n", choice->count,
                   choice->size, static_cast<long long>(probing.elapsed()));
    }
  }
  tg::TMainForm::Options options;
  options.outStream = out.get();
  options.inStream = in.get();
  options.openMidi = true;
  // TONEGARDEN_RECOVERY_DIR: another place for the crash copies (tests, a second user).
  const char* recovery = std::getenv("TONEGARDEN_RECOVERY_DIR");
  options.recoveryDirectory = recovery != nullptr && *recovery != '\0'
                                  ? std::string(recovery)
                                  : tg::RecoveryFiles::DefaultDirectory();
  tg::TAudioEngineModule engine(factory, std::move(out), std::move(in), &settings);

  int status = 0;
  {
    tg::TMainForm window(engine, settings, commandLine, options);
    window.show();
    window.Start();
    if (qEnvironmentVariableIsSet("TONEGARDEN_REPORT_STARTUP")) {
      QTimer::singleShot(0, &window, [&clock] {
        std::fprintf(stderr, "shown after %lld ms\n", static_cast<long long>(clock.elapsed()));
      });
    }
    status = QApplication::exec();
  }
  settings.Sync();
  return status;
}
