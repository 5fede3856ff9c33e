// tonegarden-play: plays a patch live without a window, for a stage rig.
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <clocale>
#include <cmath>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <future>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/host/QtSettingsStore.h"
#include "engine/ClockSource.h"
#include "engine/LastMinutesFile.h"
#include "engine/LastMinutesRing.h"
#include "engine/TAudioEngineModule.h"
#include "engine/devices/WaveDeviceLayers.h"
#include "engine/midi/MidiPorts.h"
#include "engine/streams/FirstStartLatency.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "engine/sync/JackTransportMode.h"
#include "files/SoundFilePaths.h"
#include "framework/TContraptionFactory.h"
#include "host/SessionSettingsStore.h"
#include "host/UserMessages.h"
#include "properties/NumberText.h"
#include "shell/RegisterContraptions.h"
#include "shell/document/TGDocument.h"
#include "shell/midi/MidiController.h"
#include "shell/patch/PatchEditor.h"
#include "shell/program/HeadlessQueries.h"
#include "shell/program/LivePlayer.h"

using namespace tg;

namespace {

constexpr int kBadArguments = 2;
constexpr int kBadDocument = 3;
constexpr int kNoDevice = 6;

const char* const kUsage =
    "usage: tonegarden-play PATCH.tgh [--device NAME] [--buffers N --buffer-bytes B]\n"
    "                       [--threads N] [--seconds N] [--no-clock] [--record] [--status]\n"
    "                       [--quiet] [--midi-in PORT]... [--midi-out PORT]\n"
    "                       [--clock internal|midi|link|jack] [--link]\n"
    "                       [--jack-transport off|follow|lead] [--capture-dir DIR]\n"
    "       tonegarden-play --help | --version\n"
    "\n"
    "Plays a Tonegarden patch live, without a window, through the stored output\n"
    "device and buffers (TONEGARDEN_AUDIO=silent: a silent device paced in real time).\n"
    "  --device NAME      the output device for this run (its name, or a part of it)\n"
    "  --buffers N        buffers in the output queue for this run (1 to 16)\n"
    "  --buffer-bytes B   bytes in each buffer for this run (4 a frame)\n"
    "  --threads N        processing threads for this run (0: one per core)\n"
    "  --seconds N        stop after N seconds of clock (default: until a signal)\n"
    "  --no-clock         play the audio without starting the clock\n"
    "  --record           record a take to SoundOut's file while playing\n"
    "  --status           one line a second: bar:beat  tempo  CPU load %  overloads\n"
    "                     (and \"Link: N peers\" in an Ableton Link session)\n"
    "  --quiet            no messages but errors\n"
    "  --midi-in PORT     listen to this MIDI port (JACK or ALSA sequencer name;\n"
    "                     repeatable); default: the ports chosen in the settings\n"
    "  --midi-out PORT    play the bound values and the clock to this MIDI port\n"
    "  --clock SOURCE     internal (the program's own), midi (follow a MIDI clock\n"
    "                     at the MIDI input), link (join an Ableton Link session\n"
    "                     on the local network) or jack (the JACK transport);\n"
    "                     default: as in the settings\n"
    "  --link             the same as --clock link: tempo, bars (and with the\n"
    "                     settings' start/stop sync, start and stop) shared with\n"
    "                     the session's other programs; the clock starts at its\n"
    "                     next bar\n"
    "  --jack-transport M off, follow (the clock follows the JACK transport, which\n"
    "                     the program does not start) or lead (the program is its\n"
    "                     timebase master and starts it with the clock); needs the\n"
    "                     output on JACK at 44100 Hz; default: as in the settings\n"
    "  --capture-dir DIR  on SIGUSR1, save the last minutes played (as the settings\n"
    "                     keep them, 5 unless set) to DIR, named by date and time\n"
    "SIGINT and SIGTERM stop cleanly (the output fades out, takes are closed);\n"
    "SIGHUP reads the patch again from its file; SIGUSR1 saves the last minutes\n"
    "(with --capture-dir).\n"
    "Exit status: 0 stopped, 2 bad arguments, 3 unreadable document,\n"
    "6 the audio device cannot be opened.\n";

struct Options {
  std::string patch;
  std::optional<std::string> device;
  std::optional<int> buffers;
  std::optional<int> bufferBytes;
  std::optional<int> threads;
  std::optional<double> seconds;
  bool clock = true;
  bool record = false;
  bool status = false;
  bool quiet = false;
  std::vector<std::string> midiIn;
  std::optional<std::string> midiOut;
  std::optional<ClockSource> clockSource;
  std::optional<JackTransportMode> jackTransport;
  std::optional<std::string> captureDir;
};

// What the program would show in a message box: one line on stderr.
class LineMessages final : public UserMessages {
 public:
  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon) override {
    std::string line(text);
    while (!line.empty() && line.back() == '\n') line.pop_back();
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::cerr << "tonegarden-play: " << caption << ": " << line << std::endl;
  }
};

int BadArgument(const std::string& why) {
  std::cerr << "tonegarden-play: " << why << "\n\n" << kUsage;
  return kBadArguments;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The device of that name; else the only one whose name holds it.
std::optional<int> FindDevice(const std::vector<WaveDeviceInfo>& devices, const std::string& name) {
  for (size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].name == name) return static_cast<int>(i);
  }
  std::optional<int> found;
  for (size_t i = 0; i < devices.size(); ++i) {
    if (Lower(devices[i].name).find(Lower(name)) == std::string::npos) continue;
    if (found) return std::nullopt;  // not one but several
    found = static_cast<int>(i);
  }
  return found;
}

// SIGUSR1 with --capture-dir: the last minutes written on a thread of their
// own while the patch plays on; the main loop hears when they are done.
class LastMinutesCapture {
 public:
  LastMinutesCapture(const LastMinutesRing& ring, bool quiet) : ring_(ring), quiet_(quiet) {}
  ~LastMinutesCapture() {
    if (saving_.valid()) Report(saving_.get());
  }
  void Begin(const std::string& directory) {
    if (saving_.valid()) {
      std::cerr << "tonegarden-play: still saving the last minutes to " << fileName_ << "\n";
      return;
    }
    fileName_ = FreeName(directory);
    saving_ = std::async(std::launch::async,
                         [this, name = fileName_] { return SaveLastMinutes(ring_, name); });
  }
  void Poll() {
    if (saving_.valid() && saving_.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
      Report(saving_.get());
  }

 private:
  // Two signals within a second make two files.
  static std::string FreeName(const std::string& directory) {
    const std::filesystem::path base =
        std::filesystem::path(directory) / LastMinutesFileName(std::time(nullptr));
    std::filesystem::path name = base;
    std::error_code error;
    for (int n = 2; std::filesystem::exists(name, error); ++n)
      name = base.parent_path() / (base.stem().string() + "-" + std::to_string(n) + ".wav");
    return name.string();
  }
  void Report(const LastMinutesSaved& saved) const {
    if (!saved.problem.empty()) {
      std::cerr << "tonegarden-play: cannot save the last minutes to " << fileName_ << ": "
                << saved.problem << "\n";
    } else if (!quiet_) {
      std::cerr << "tonegarden-play: saved " << saved.frames << " frames to " << fileName_ << "\n";
    }
  }

  const LastMinutesRing& ring_;
  bool quiet_;
  std::string fileName_;
  std::future<LastMinutesSaved> saving_;
};

int NoDevice(const std::string& why, const std::vector<WaveDeviceInfo>& devices) {
  std::cerr << "tonegarden-play: " << why << "\nThe output devices are:\n";
  for (const WaveDeviceInfo& d : devices) std::cerr << "  " << d.name << "\n";
  return kNoDevice;
}

}  // namespace

int main(int argc, char** argv) {
  // Signals are taken by the main loop: blocked before any thread starts, so
  // every thread the libraries make leaves them to it.
  sigset_t handled;
  sigemptyset(&handled);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&handled, s);
  pthread_sigmask(SIG_BLOCK, &handled, nullptr);
  std::signal(SIGXFSZ, SIG_IGN);  // a full disk fails a take's write, which is reported
  std::setlocale(LC_ALL, "");

  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto number = [&](double low, double high) -> std::optional<double> {
      if (i + 1 >= argc) return std::nullopt;
      const std::optional<double> v = numbertext::Parse(argv[++i]);
      if (!v || !(*v >= low && *v <= high)) return std::nullopt;
      return v;
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--version") {
      std::cout << "tonegarden-play 0.7.0\n";
      return 0;
    } else if (arg == "--device") {
      if (i + 1 >= argc) return BadArgument("--device needs a name");
      o.device = argv[++i];
    } else if (arg == "--buffers") {
      const auto v = number(1, 16);
      if (!v || *v != std::trunc(*v))
        return BadArgument("--buffers needs a whole number from 1 to 16");
      o.buffers = static_cast<int>(*v);
    } else if (arg == "--buffer-bytes") {
      const auto v = number(1024, 1 << 20);
      if (!v || *v != std::trunc(*v) || std::fmod(*v, 1024.0) != 0.0)
        return BadArgument(
            "--buffer-bytes needs a multiple of 1024 (a block of 256 frames) from 1024 to "
            "1048576");
      o.bufferBytes = static_cast<int>(*v);
    } else if (arg == "--threads") {
      const auto v = number(0, 64);
      if (!v || *v != std::trunc(*v))
        return BadArgument("--threads needs a whole number from 0 to 64");
      o.threads = static_cast<int>(*v);
    } else if (arg == "--seconds") {
      const auto v = number(0, 1e9);
      if (!v || *v <= 0) return BadArgument("--seconds needs a positive number");
      o.seconds = *v;
    } else if (arg == "--no-clock") {
      o.clock = false;
    } else if (arg == "--record") {
      o.record = true;
    } else if (arg == "--status") {
      o.status = true;
    } else if (arg == "--clock") {
      const auto source = i + 1 < argc ? ClockSourceFromWord(argv[i + 1]) : std::nullopt;
      if (!source) return BadArgument("--clock needs internal, midi, link or jack");
      o.clockSource = source;
      ++i;
    } else if (arg == "--jack-transport") {
      const auto mode = i + 1 < argc ? JackTransportFromWord(argv[i + 1]) : std::nullopt;
      if (!mode) return BadArgument("--jack-transport needs off, follow or lead");
      o.jackTransport = mode;
      ++i;
    } else if (arg == "--link") {
      o.clockSource = ClockSource::Link;
    } else if (arg == "--midi-in") {
      if (i + 1 >= argc || *argv[i + 1] == '\0') return BadArgument("--midi-in needs a port name");
      o.midiIn.emplace_back(argv[++i]);
    } else if (arg == "--midi-out") {
      if (i + 1 >= argc || *argv[i + 1] == '\0') return BadArgument("--midi-out needs a port name");
      o.midiOut = argv[++i];
    } else if (arg == "--capture-dir") {
      if (i + 1 >= argc || *argv[i + 1] == '\0') return BadArgument("--capture-dir needs a folder");
      o.captureDir = argv[++i];
      std::error_code error;
      if (!std::filesystem::is_directory(*o.captureDir, error))
        return BadArgument("--capture-dir: " + *o.captureDir + " is not a folder");
    } else if (arg == "--quiet" || arg == "-q") {
      o.quiet = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return BadArgument("unknown option " + arg);
    } else if (o.patch.empty()) {
      o.patch = arg;
    } else {
      return BadArgument("only one patch can be played at a time");
    }
  }
  if (o.patch.empty()) return BadArgument("no patch given");
  if (o.captureDir) {
    // Taken by the main loop like the others; no thread has started yet.
    sigaddset(&handled, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);
  }

  TContraptionFactory& factory = TContraptionFactory::Instance();
  RegisterContraptionTypes(factory);
  QtSettingsStore stored;
  const char* audio = std::getenv("TONEGARDEN_AUDIO");
  std::unique_ptr<WaveDeviceLayer> layer;
  if (audio != nullptr && std::string(audio) == "silent") {
    layer = std::make_unique<SilentWaveDeviceLayer>();
  } else {
    layer = std::make_unique<StandardWaveDeviceLayer>();
  }
  auto outStream = std::make_unique<KWWaveOutStream>(*layer);
  auto inStream = std::make_unique<KWWaveInStream>(*layer);
  KWWaveOutStream& out = *outStream;
  KWWaveInStream& in = *inStream;
  // A machine that never ran the program finds its shortest clean latency
  // first, as the program's first start does, and keeps it.
  if (!o.device && !o.buffers && !o.bufferBytes && FirstStartLatency::IsFirstStart(stored)) {
    FirstStartLatency::OnFirstStart(stored, out, in);
    stored.Sync();
  }
  // What this run changes (a device, buffers) is never stored.
  SessionSettingsStore settings(stored);
  SoundFilePaths::Instance().Load(settings);
  LineMessages messages;
  TAudioEngineModule engine(factory, std::move(outStream), std::move(inStream), &settings);
  engine.Host().messages = &messages;
  if (o.device) {
    const std::optional<int> device = FindDevice(out.DeviceNames(), *o.device);
    if (!device)
      return NoDevice("no output device is called \"" + *o.device + "\"", out.DeviceNames());
    out.SetDevice(*device);
  }
  if (o.buffers || o.bufferBytes) {
    out.SetBuffers(o.buffers.value_or(out.BufferCount()), o.bufferBytes.value_or(out.BufferSize()));
    // The input's buffers are never shorter than the output's, as in the settings.
    if (in.BufferSize() < out.BufferSize()) in.SetBuffers(in.BufferCount(), out.BufferSize());
  }
  if (o.threads) engine.SetProcessingThreads(*o.threads);
  if (!engine.ProcessingThreadsNote().empty())
    messages.ShowMessage(engine.ProcessingThreadsNote(), "Processing threads",
                         MessageIcon::Warning);

  PatchModel model;
  PatchEditor patch(engine, model);
  HeadlessQueries queries;
  TGDocument document(patch, queries);
  LivePlayer player(engine, document);
  if (!player.Open(o.patch)) return kBadDocument;
  if (!engine.HasSoundOut())
    messages.ShowMessage("the patch has no SoundOut: nothing will sound", "Tonegarden",
                         MessageIcon::Warning);
  const std::string deviceName = out.DeviceNames().empty()
                                     ? std::string("(none)")
                                     : out.DeviceNames()[static_cast<size_t>(out.Device())].name;
  // MIDI where the command line or the settings name a port; a port or a
  // system that is not there is said and never stops the run. Opened, and
  // the clock source chosen, before the clock starts: the JACK transport may
  // start it, and a Link session's start waits for its bar.
  MidiPorts midiPorts(engine, MidiPorts::StandardSystems());
  midiPorts.SetMessageHandler([&o](const std::string& text) {
    if (!o.quiet) std::cerr << "tonegarden-play: " << text << "\n";
  });
  midiPorts.Load(settings);
  if (!o.midiIn.empty()) midiPorts.SetWantedInputs(o.midiIn);
  if (o.midiOut) midiPorts.SetWantedOutput(*o.midiOut);
  if (o.clockSource) engine.SetClockSource(*o.clockSource);
  if (o.jackTransport) engine.SetJackTransport(*o.jackTransport);
  std::optional<MidiController> midi;
  // The JACK transport is read and led through the MIDI client.
  if (!midiPorts.WantedInputs().empty() || !midiPorts.WantedOutput().empty() ||
      engine.GetClockSource() == ClockSource::MidiClock ||
      engine.GetJackTransport() != JackTransportMode::Off) {
    midi.emplace(patch, midiPorts);
    midi->SetMessageHandler([&o](const std::string& text) {
      if (!o.quiet) std::cerr << "tonegarden-play: " << text << "\n";
    });
    midiPorts.Open();
  }
  const std::string transportProblem = engine.JackTransportProblem();
  if (engine.GetJackTransport() != JackTransportMode::Off && !transportProblem.empty() && !o.quiet)
    std::cerr << "tonegarden-play: " << transportProblem << "; the program's own clock leads\n";
  // Following, the transport is started by whoever leads it.
  const bool startClock = o.clock && !(engine.GetJackTransport() == JackTransportMode::Follow &&
                                       transportProblem.empty());
  if (const std::string problem = player.Start(startClock); !problem.empty()) {
    return NoDevice("the output device \"" + deviceName + "\" cannot be opened: " + problem,
                    out.DeviceNames());
  }
  if (o.record && !player.Record()) {
    messages.ShowMessage("SoundOut has no file to record to", "Tonegarden", MessageIcon::Warning);
  }
  if (!o.quiet) {
    std::cerr << "tonegarden-play: playing " << o.patch << " on " << deviceName << ", "
              << out.BufferCount() << " buffers of " << out.FramesPerBuffer() << " frames\n";
  }

  int exitCode = 0;
  int lines = 0;
  std::string takeMessage;
  LastMinutesCapture capture(engine.LastMinutes(), o.quiet);
  for (;;) {
    // With MIDI, program changes are recalled within a few milliseconds.
    const timespec tick{0, midi ? 4'000'000 : 50'000'000};
    const int received = sigtimedwait(&handled, nullptr, &tick);
    if (received == SIGINT || received == SIGTERM) break;
    if (midi) {
      midi->Poll();
    } else {
      // What following a clock has to tell (a Link session's tempo held).
      MidiClockSync::Notice notice;
      while (engine.ClockSync().TakeNotice(notice)) {
        if (const std::string text = MidiClockSync::NoticeText(notice); !text.empty() && !o.quiet)
          std::cerr << "tonegarden-play: " << text << "\n";
      }
    }
    if (received == SIGUSR1 && o.captureDir) capture.Begin(*o.captureDir);
    capture.Poll();
    if (received == SIGHUP) {
      const LivePlayer::Reloaded reloaded = player.Reload();
      if (!reloaded.deviceProblem.empty()) {
        exitCode = NoDevice("the output device \"" + deviceName +
                                "\" cannot be opened again: " + reloaded.deviceProblem,
                            out.DeviceNames());
        break;
      }
      if (!reloaded.read) {
        messages.ShowMessage("the patch could not be read again; it plays on as it was",
                             "Tonegarden", MessageIcon::Warning);
      } else if (!o.quiet) {
        std::cerr << "tonegarden-play: read " << o.patch << " again\n";
      }
    }
    const double played = player.SecondsPlayed(LivePlayer::Clock::now());
    while (o.status && played >= lines + 1 && (!o.seconds || lines + 1 <= *o.seconds + 1e-9)) {
      std::cout << player.StatusLine() << std::endl;
      ++lines;
    }
    if (const std::string message = engine.SoundOutProcessor().TakeMessage();
        message != takeMessage) {
      takeMessage = message;
      if (!message.empty()) std::cerr << "tonegarden-play: SoundOut " << message << "\n";
    }
    if (o.seconds && played >= *o.seconds) break;
  }
  player.Stop();
  midi.reset();
  return exitCode;
}
