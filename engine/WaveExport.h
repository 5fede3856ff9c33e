#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/wavefiles/TGWaveOutFile.h"

namespace tg {

class TAudioEngineModule;

// What to render: a clock-synchronised pattern (lengths in bars), the
// SoundIn file as processed, or a timed segment (lengths in seconds).
// A file the patch reads, which an export must never replace.
struct FileInUse {
  std::string path;
  // Who reads it, before the file's name in what the user is told:
  // "LoopPlayer_1 plays", "The patch is read from".
  std::string usedBy;
};
// The first of files that path names, or null.
const FileInUse* FindFileInUse(const std::vector<FileInUse>& files, const std::string& path);

struct WaveExportRequest {
  enum class Mode { ClockSyncPattern, ProcessedSoundInFile, TimedSegment };
  Mode mode = Mode::ClockSyncPattern;
  double preRoll = 0.0;
  double record = 1.0;
  // In the SoundIn mode: record exactly as long as SoundIn's file lasts,
  // instead of the seconds of record.
  bool wholeSoundInFile = false;
  std::string fileName;
  // The window's export: a take or playback SoundOut runs live ends first,
  // so the render neither lands in the take nor plays the file instead of
  // the patch. (A render of a document records as the document says.)
  bool endLiveTake = false;
  // The patch's document and the sound files it plays: refused as the file
  // to export to.
  std::vector<FileInUse> filesInUse;
};

// Hears how the render goes, and may cancel it.
class WaveExportProgress {
 public:
  virtual ~WaveExportProgress() = default;
  virtual void Stage(const std::string& firstLine, const std::string& secondLine) = 0;
  // 0 … 1.
  virtual void Progress(double fraction) = 0;
  virtual bool Cancelled() = 0;
};

enum class WaveExportResult {
  Written,
  Cancelled,
  NotEnoughSpace,
  TooLong,  // more than a wave file's 4 GiB
  CannotCreateFile,
  WriteFailed,  // the disk refused part of it; nothing was replaced
};

// What the user is told when an export was not written (empty otherwise).
struct WaveExportMessage {
  std::string text;
  std::string caption;
};

// The most frames one 44100 Hz stereo 16-bit wave file can hold.
constexpr int64_t kMaxWaveExportFrames = TGWaveOutFile::kMaxDataBytes / 4;

// The lengths of a request in frames at the engine's current tempo.
struct WaveExportFrames {
  int64_t preRoll = 0;
  int64_t record = 0;
};
WaveExportFrames ExportFrames(const TAudioEngineModule& engine, const WaveExportRequest& request);
// Whether the recorded length fits in one wave file; if not, why names the
// longest that does (in bars at the current tempo for a pattern).
bool FitsInWaveFile(const TAudioEngineModule& engine, const WaveExportRequest& request,
                    WaveExportMessage* why = nullptr);

// Renders the patch faster than real time into a 44100 Hz stereo 16-bit wave
// file, with audio out stopped: every scheduled contraption is reset, a
// pre-roll runs the clock up to bar 80, and the clock is given back as it
// was. Only a complete file is left behind, and it replaces a file of that
// name only once complete: a cancelled render or one the disk refused leaves
// the file as it was (or none), and one too long for a wave file is refused
// before anything is rendered. When the file is not written, message (if
// given) says why. UI thread, audio out stopped.
WaveExportResult ExportAsWave(TAudioEngineModule& engine, const WaveExportRequest& request,
                              WaveExportProgress* progress, WaveExportMessage* message = nullptr);

// The free bytes of the file system that would hold the file; -1 if unknown.
int64_t FreeSpaceFor(const std::string& fileName);

}  // namespace tg
