// tonegarden-render: renders a patch document to a wave file without any
// window or sound card.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "contraptions/io/soundin/TGSoundIn.h"
#include "dsp/QSNoiseSource.h"
#include "engine/TAudioEngineModule.h"
#include "engine/WaveExport.h"
#include "framework/TContraptionFactory.h"
#include "graph/QSDynSigContext.h"
#include "host/StreamUserMessages.h"
#include "properties/NumberText.h"
#include "shell/RegisterContraptions.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "shell/program/HeadlessQueries.h"

using namespace tg;

namespace {

constexpr int kBadArguments = 2;
constexpr int kBadDocument = 3;
constexpr int kCannotWrite = 4;
constexpr int kMissingSounds = 5;

const char* const kUsage =
    "usage: tonegarden-render PATCH.tgh -o OUT.wav [--bars N | --seconds S | --soundin]\n"
    "                         [--preroll N] [--limit]\n"
    "                         [--tempo BPM] [--seed N] [--threads N] [--strict] [--quiet]\n"
    "       tonegarden-render --list-types | --help | --version\n"
    "\n"
    "Renders a Tonegarden patch to a 44100 Hz stereo 16-bit wave file.\n"
    "  -o, --output FILE  the wave file to write; a file of that name is replaced\n"
    "                     only once the render is complete\n"
    "  --bars N           a clock-synchronised pattern of N bars (default 1)\n"
    "  --seconds S        a timed segment of S seconds instead\n"
    "  --soundin          SoundIn's file through the patch, from its first frame\n"
    "                     for as long as it lasts (pre-roll in seconds)\n"
    "  --preroll N        bars (or seconds) to run before recording (default 0)\n"
    "  --limit            a peak limiter at -0.3 dBFS on the output, as the\n"
    "                     program's \"Limit the output\" setting\n"
    "  --tempo BPM        the tempo instead of the document's (1 to 240)\n"
    "  --seed N           seeds every noise source from N, so the render comes out\n"
    "                     the same every time (by default from the clock)\n"
    "  --threads N        threads sharing the processing (default: one per core,\n"
    "                     at most as many as there are cores); the output is the same\n"
    "  --strict           refuse to render, writing nothing, when a sound file the\n"
    "                     patch plays cannot be played (otherwise a warning each)\n"
    "  --quiet            no progress line and no summary (the summary counts the\n"
    "                     samples over full scale and says what the limiter did)\n"
    "Exit status: 0 written, 2 bad arguments, 3 unreadable document, 4 output not written,\n"
    "5 a sound file cannot be played (--strict), 128 + N stopped by signal N.\n";

struct Options {
  std::string patch;
  std::string output;
  std::optional<double> bars;
  std::optional<double> seconds;
  bool soundIn = false;
  double preRoll = 0.0;
  std::optional<double> tempo;
  bool quiet = false;
  bool strict = false;
  bool limit = false;
  std::optional<uint32_t> seed;
  int threads = TAudioEngineModule::kAutomaticThreads;
};

bool ParseNumber(const char* text, double& value) {
  const std::optional<double> read = numbertext::Parse(text);
  value = read.value_or(0.0);
  return read && std::isfinite(*read);
}

int BadArgument(const std::string& why) {
  std::cerr << "tonegarden-render: " << why << "\n\n" << kUsage;
  return kBadArguments;
}

class TerminalProgress final : public WaveExportProgress {
 public:
  explicit TerminalProgress(bool show) : show_(show && isatty(STDERR_FILENO)) {}
  ~TerminalProgress() override {
    if (shown_) std::fputc('\n', stderr);
  }
  void Stage(const std::string& first, const std::string& second) override {
    stage_ = second.empty() ? first : first + " " + second;
  }
  void Progress(double fraction) override {
    if (!show_) return;
    std::fprintf(stderr, "\r%s %3d%%", stage_.c_str(), static_cast<int>(fraction * 100));
    std::fflush(stderr);
    shown_ = true;
  }
  bool Cancelled() override { return stopSignal != 0; }

  // Set by an interrupt or a termination: the render stops at the next
  // chunk, so that nothing half-made stays behind.
  static volatile std::sig_atomic_t stopSignal;

 private:
  bool show_;
  bool shown_ = false;
  std::string stage_;
};

volatile std::sig_atomic_t TerminalProgress::stopSignal = 0;

void StopRender(int signal) { TerminalProgress::stopSignal = signal; }

// Why the patch cannot render its SoundIn file; empty when it can.
std::string SoundInFileProblem(TAudioEngineModule& engine) {
  TGSoundIn& in = engine.SoundInProcessor();
  in.WaitForFile();  // the document named it; its header may still be on the way
  if (!engine.HasSoundIn()) return "the patch has no SoundIn";
  if (in.useADC.Value()) return "SoundIn takes the sound card's input, not a file (Use Input File)";
  if (in.inputFile.Value().empty()) return "SoundIn has no file chosen";
  if (!in.fileIsGood.Value()) {
    const std::string problem = in.FileProblem();
    return problem.empty() ? "SoundIn's file cannot be played" : problem;
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  // Numbers are read and written the same in any locale; the user's is taken
  // up as the windowed program's is, so that nothing depends on it.
  std::setlocale(LC_ALL, "");
  // A file-size limit (ulimit -f) then fails the write, which is reported,
  // instead of killing the render with half a file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  // An interrupt stays ignored where the shell ignores it (a background job).
  if (std::signal(SIGINT, SIG_IGN) != SIG_IGN) std::signal(SIGINT, StopRender);
  std::signal(SIGTERM, StopRender);
  TContraptionFactory& factory = TContraptionFactory::Instance();
  RegisterContraptionTypes(factory);

  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](double& into) {
      if (i + 1 >= argc) return false;
      return ParseNumber(argv[++i], into);
    };
    double number = 0;
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--version") {
      std::cout << "tonegarden-render 0.7.0\n";
      return 0;
    } else if (arg == "--list-types") {
      for (const auto& category : factory.Categories()) {
        std::cout << category << ":\n";
        for (const auto* maker : factory.MakersInCategory(category))
          std::cout << "  " << maker->TypeName() << "\n";
      }
      return 0;
    } else if (arg == "-o" || arg == "--output") {
      if (i + 1 >= argc) return BadArgument(arg + " needs a file name");
      o.output = argv[++i];
    } else if (arg == "--bars") {
      if (!value(number) || number <= 0) return BadArgument("--bars needs a positive number");
      o.bars = number;
    } else if (arg == "--seconds") {
      if (!value(number) || number <= 0) return BadArgument("--seconds needs a positive number");
      o.seconds = number;
    } else if (arg == "--soundin") {
      o.soundIn = true;
    } else if (arg == "--preroll") {
      if (!value(number) || number < 0)
        return BadArgument("--preroll needs a number of at least 0");
      o.preRoll = number;
    } else if (arg == "--tempo") {
      if (!value(number) || number < 1 || number > 240)
        return BadArgument("--tempo needs a number from 1 to 240");
      o.tempo = number;
    } else if (arg == "--seed") {
      if (!value(number) || number < 0 || number > 4294967295.0 || number != std::trunc(number))
        return BadArgument("--seed needs a whole number from 0 to 4294967295");
      o.seed = static_cast<uint32_t>(number);
    } else if (arg == "--threads") {
      if (!value(number) || number < 1 || number > 1024 || number != std::trunc(number))
        return BadArgument("--threads needs a whole number from 1 to 1024");
      o.threads = static_cast<int>(number);
    } else if (arg == "--quiet" || arg == "-q") {
      o.quiet = true;
    } else if (arg == "--strict") {
      o.strict = true;
    } else if (arg == "--limit") {
      o.limit = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return BadArgument("unknown option " + arg);
    } else if (o.patch.empty()) {
      o.patch = arg;
    } else {
      return BadArgument("only one patch can be rendered at a time");
    }
  }
  if (o.patch.empty()) return BadArgument("no patch given");
  if (o.output.empty()) return BadArgument("no output file given (-o OUT.wav)");
  if ((o.bars ? 1 : 0) + (o.seconds ? 1 : 0) + (o.soundIn ? 1 : 0) > 1)
    return BadArgument("--bars, --seconds and --soundin exclude each other");
  // A record length too long for a wave file is refused by the export
  // itself, which names the longest there can be.
  if (o.preRoll > 100000) return BadArgument("that pre-roll is longer than a render can be");

  // Before any noise source is made: the engine's own limiters have some.
  if (o.seed) QSNoiseSource::FixSeeds(*o.seed);
  StreamUserMessages messages(&std::cerr);
  TAudioEngineModule engine(factory);
  engine.SetHelpersNeedRealTime(false);  // offline: no device to keep up with
  engine.SetProcessingThreads(o.threads);
  engine.SetOutputLimited(o.limit);
  engine.Host().messages = &messages;
  PatchModel model;
  PatchEditor patch(engine, model);
  HeadlessQueries queries;
  TGDocument document(patch, queries);
  document.SetTellsSoundFileProblems(false);  // a line each, below
  if (!document.Open(o.patch)) return kBadDocument;
  for (const std::string& problem : document.SoundFileProblems())
    std::cerr << "tonegarden-render: " << (o.strict ? "" : "warning: ") << problem << "\n";
  if (o.strict && !document.SoundFileProblems().empty()) return kMissingSounds;
  if (const int stopped = TerminalProgress::stopSignal; stopped != 0) return 128 + stopped;
  if (o.tempo) engine.SetTempo(*o.tempo);
  if (!engine.HasSoundOut())
    std::cerr << "tonegarden-render: the patch has no SoundOut; the render is silent\n";

  WaveExportRequest request;
  request.fileName = o.output;
  request.filesInUse = document.FilesInUse();
  if (o.soundIn) {
    if (const std::string why = SoundInFileProblem(engine); !why.empty()) {
      std::cerr << "tonegarden-render: --soundin: " << why << "\n";
      return kBadArguments;
    }
    if (!engine.SoundInProcessor().IsScheduled())
      std::cerr << "tonegarden-render: SoundIn is not wired to SoundOut; the render is silent\n";
    request.mode = WaveExportRequest::Mode::ProcessedSoundInFile;
    request.wholeSoundInFile = true;
  } else if (o.seconds) {
    request.mode = WaveExportRequest::Mode::TimedSegment;
    request.record = *o.seconds;
  } else {
    request.mode = WaveExportRequest::Mode::ClockSyncPattern;
    request.record = o.bars.value_or(1.0);
  }
  request.preRoll = o.preRoll;
  const WaveExportFrames frames = ExportFrames(engine, request);

  const auto start = std::chrono::steady_clock::now();
  WaveExportResult result;
  WaveExportMessage message;
  {
    TerminalProgress progress(!o.quiet);
    result = ExportAsWave(engine, request, &progress, &message);
  }
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Tidied up (no temporary is left): ends as a shell reports a stopped job.
  if (const int stopped = TerminalProgress::stopSignal; stopped != 0) return 128 + stopped;
  if (result != WaveExportResult::Written) {
    if (!message.text.empty()) {
      std::string text = message.text;
      std::replace(text.begin(), text.end(), '\n', ' ');
      std::cerr << "tonegarden-render: " << message.caption << ": " << text << "\n";
    }
    return kCannotWrite;
  }
  if (!o.quiet) {
    const double audio = static_cast<double>(frames.record) / 44100.0;
    const QSDynSigContext& context = engine.GetContext();
    const bool shared = context.SharesPasses();
    const int threads =
        shared && context.Judge().SharingPays() ? engine.ActiveProcessingThreads() : 1;
    std::cout << o.output << ": " << frames.record << " frames, " << numbertext::Fixed(audio, 3)
              << " s of audio in " << numbertext::Fixed(elapsed, 3) << " s ("
              << numbertext::Fixed(elapsed > 0 ? audio / elapsed : 0.0, 1) << " times real time, "
              << threads << (threads == 1 ? " thread" : " threads")
              << (shared && threads == 1 ? ": sharing was slower)" : ")") << "\n";
    std::cout << engine.SoundOutProcessor().OutputSummary() << "\n";
    // A render waits for the disk, so a recording made during it loses nothing.
    const std::string lost = engine.SoundOutProcessor().TakeMessage();
    if (!lost.empty()) std::cout << "SoundOut " << lost << "\n";
  }
  return 0;
}
