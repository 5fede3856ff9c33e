#include "engine/WaveExport.h"

#include <sys/statvfs.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "engine/ReplacingFile.h"
#include "engine/TAudioEngineModule.h"
#include "engine/Timecode.h"
#include "files/FileNames.h"
#include "files/wavefiles/TGWaveOutFile.h"
#include "properties/NumberText.h"

namespace tg {

namespace {

// MIDI waits while the export renders, however it ends.
class ExportingMark {
 public:
  explicit ExportingMark(TAudioEngineModule& engine) : engine_(engine) {
    engine_.SetExporting(true);
  }
  ~ExportingMark() { engine_.SetExporting(false); }
  ExportingMark(const ExportingMark&) = delete;
  ExportingMark& operator=(const ExportingMark&) = delete;

 private:
  TAudioEngineModule& engine_;
};

constexpr int64_t kChunk = 131072;  // frames
constexpr int kChunkShift = 17;
constexpr double kRecordStartTick = 7680.0;  // bar 80

class NoProgress final : public WaveExportProgress {
 public:
  void Stage(const std::string&, const std::string&) override {}
  void Progress(double) override {}
  bool Cancelled() override { return false; }
};

constexpr const char* kSaveError = "An error occurred while saving the file.\n";

// A length cut (not rounded) to two decimals, so that what it names fits.
std::string TwoDecimals(double value) {
  return numbertext::Fixed(std::floor(value * 100.0) / 100.0, 2);
}

std::string TooLongText(const TAudioEngineModule& engine, const WaveExportRequest& request) {
  const double seconds = static_cast<double>(kMaxWaveExportFrames) / 44100.0;
  std::string longest = TwoDecimals(seconds) + " seconds";
  if (request.mode == WaveExportRequest::Mode::ClockSyncPattern) {
    const double bars = static_cast<double>(kMaxWaveExportFrames) /
                        (engine.GetContext().Clock().SamplesPerClock() * 96.0);
    longest = TwoDecimals(bars) + " bars at this tempo (" + longest + ")";
  }
  return "A wave file cannot hold an export that long: the longest is " + longest +
         ".\nReduce the export duration.";
}

// Names the file the user chose, never the temporary it was written as.
std::string SaveErrorText(const std::string& fileName, const std::string& error) {
  const std::string why = error.empty() ? "the disk did not take the data" : error;
  return kSaveError + fileName + ": " + why + ".";
}

}  // namespace

WaveExportFrames ExportFrames(const TAudioEngineModule& engine, const WaveExportRequest& request) {
  WaveExportFrames frames;
  const double spc = engine.GetContext().Clock().SamplesPerClock();
  auto toFrames = [](double v) {
    return std::isfinite(v) && v > 0 ? static_cast<int64_t>(std::min(v, 1e15)) : int64_t{0};
  };
  if (request.mode == WaveExportRequest::Mode::ClockSyncPattern) {
    frames.preRoll = toFrames(spc * (request.preRoll * 96));
    frames.record = toFrames(spc * (request.record * 96));
  } else {
    frames.preRoll = toFrames(request.preRoll * 44100);
    frames.record = toFrames(request.record * 44100);
  }
  if (request.mode == WaveExportRequest::Mode::ProcessedSoundInFile && request.wholeSoundInFile)
    frames.record = engine.SoundInProcessor().FileFrames();
  return frames;
}

bool FitsInWaveFile(const TAudioEngineModule& engine, const WaveExportRequest& request,
                    WaveExportMessage* why) {
  if (ExportFrames(engine, request).record <= kMaxWaveExportFrames) return true;
  if (why != nullptr) *why = {TooLongText(engine, request), "Tonegarden"};
  return false;
}

int64_t FreeSpaceFor(const std::string& fileName) {
  std::filesystem::path dir = std::filesystem::path(fileName).parent_path();
  if (dir.empty()) dir = ".";
  struct statvfs fs {};
  if (statvfs(dir.c_str(), &fs) != 0) return -1;
  return static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize);
}

const FileInUse* FindFileInUse(const std::vector<FileInUse>& files, const std::string& path) {
  for (const FileInUse& file : files) {
    if (filenames::SameFile(file.path, path)) return &file;
  }
  return nullptr;
}

WaveExportResult ExportAsWave(TAudioEngineModule& engine, const WaveExportRequest& request,
                              WaveExportProgress* progress, WaveExportMessage* message) {
  NoProgress quiet;
  WaveExportProgress& p = progress != nullptr ? *progress : quiet;
  WaveExportMessage said;
  WaveExportMessage& m = message != nullptr ? *message : said;
  m = {};
  WaveExportFrames frames = ExportFrames(engine, request);

  if (!FitsInWaveFile(engine, request, &m)) return WaveExportResult::TooLong;
  if (engine.SoundOutProcessor().HoldsFile(request.fileName)) {
    m = {"SoundOut records to and plays \"" + request.fileName +
             "\".\nExport to another file, or choose another in SoundOut's window.",
         "Tonegarden"};
    return WaveExportResult::CannotCreateFile;
  }
  if (const FileInUse* used = FindFileInUse(request.filesInUse, request.fileName)) {
    m = {used->usedBy + " \"" + request.fileName + "\".\nExport to another file.", "Tonegarden"};
    return WaveExportResult::CannotCreateFile;
  }
  // What killed exports left would count against the free space.
  ReplacingFile::RemoveStaleTemporaries(request.fileName);
  const int64_t free = FreeSpaceFor(request.fileName);
  if (free >= 0 && free < frames.record * 4 + TGWaveOutFile::kHeaderSize + 65536) {
    m = {
        "There is not enough space on the specified drive to export\nthe file. Reduce the "
        "export duration or select another drive.",
        "Not enough disk space"};
    return WaveExportResult::NotEnoughSpace;
  }

  p.Stage("Pre-rolling...", "");
  p.Progress(0.0);
  const double steps = static_cast<double>(((frames.preRoll + frames.record) >> kChunkShift) + 1);
  double done = 0.0;
  auto advance = [&] {
    done += 1.0 / steps;
    p.Progress(std::min(done, 1.0));
  };

  const bool soundInMode = request.mode == WaveExportRequest::Mode::ProcessedSoundInFile;
  TGSoundIn& soundIn = engine.SoundInProcessor();
  const double soundInLocation = soundIn.location.Value();
  const bool soundInActive = soundIn.active.Value();
  if (soundInMode) {
    soundIn.location.SetValue(0.0);
    soundIn.active.SetValue(false);
  }

  if (request.endLiveTake) engine.SoundOutProcessor().EndTakeOrPlayback();
  engine.SoundOutProcessor().SetOffline(true);
  const ExportingMark exporting(engine);
  TempoClock& clock = engine.GetContext().Clock();
  const bool wasRunning = clock.IsRunning();
  const double wasAt = ClockTickOf(clock.Position());
  clock.SetRunning(true);
  engine.GetContext().ResetAll();
  engine.SoundOutProcessor().RestLimiter();  // no gain carried in from before

  std::vector<int16_t> buffer(static_cast<size_t>(kChunk) * 2);
  auto render = [&] { engine.OutStreamFillBuffer(buffer.data(), static_cast<int>(kChunk)); };
  bool cancelled = false;

  if (frames.preRoll > 0) {
    frames.preRoll = (frames.preRoll & ~(kChunk - 1)) + kChunk;
    clock.SetPosition(kRecordStartTick -
                      static_cast<double>(frames.preRoll) / clock.SamplesPerClock());
    for (int64_t c = frames.preRoll >> kChunkShift; c > 0 && !cancelled; --c) {
      render();
      advance();
      cancelled = p.Cancelled();
    }
  } else {
    clock.SetPosition(0.0);
  }

  WaveExportResult result = WaveExportResult::Written;
  if (!cancelled) {
    p.Stage("Exporting to:", request.fileName);
    // Rendered beside the chosen file and renamed over it only when complete:
    // a cancel or a full disk leaves the file it was to replace untouched.
    ReplacingFile target(request.fileName);
    const bool replacing = target.TargetExists();
    std::string problem = target.Problem();
    std::optional<TGWaveOutFile> file;
    if (problem.empty()) {
      file.emplace(target.Temporary(), 44100, 2, true);
      if (!file->IsOpen()) problem = file->Error();
    }
    if (!problem.empty()) {
      result = WaveExportResult::CannotCreateFile;
      m = {SaveErrorText(request.fileName, problem), "Tonegarden"};
    } else {
      if (soundInMode) soundIn.active.SetValue(true);
      // What goes over full scale, and the limiter's work, counted in the file only.
      engine.SoundOutProcessor().RestartCounts(frames.record);
      bool failed = false;
      auto renderAndWrite = [&](int64_t count) {
        render();
        failed = file->Write(buffer.data(), static_cast<uint32_t>(count)) != count;
        advance();
      };
      for (int64_t c = frames.record >> kChunkShift; c > 0 && !cancelled && !failed; --c) {
        renderAndWrite(kChunk);
        cancelled = p.Cancelled();
      }
      const int64_t rest = frames.record & (kChunk - 1);
      if (rest > 0 && !cancelled && !failed) renderAndWrite(rest);
      if (cancelled) {
        p.Stage("Cancelling...", "");
        p.Progress(1.0);
      }
      // Only what reached the disk counts as written: the final sizes too,
      // before the file replaces the one it was to replace.
      if (!cancelled && !failed) failed = !file->UpdateHeader() || !file->Sync();
      if (!file->Close()) failed = true;
      std::string error = file->Error();
      if (!cancelled && !failed && !target.Commit()) {
        failed = true;
        error = target.Error();
      }
      if (failed && !cancelled) {
        result = WaveExportResult::WriteFailed;
        m = {SaveErrorText(request.fileName, error) +
                 (replacing ? "\nThe file was left as it was." : "\nNo file was written."),
             "Tonegarden"};
      }
    }
  }
  if (cancelled) result = WaveExportResult::Cancelled;

  if (wasRunning) {
    clock.SetPosition(wasAt);
  } else {
    clock.SetRunning(false);
    clock.SetPosition(0.0);
  }
  if (soundInMode) {
    soundIn.location.SetValue(soundInLocation);
    soundIn.active.SetValue(soundInActive);
  }
  engine.SoundOutProcessor().SetOffline(false);
  return result;
}

}  // namespace tg
