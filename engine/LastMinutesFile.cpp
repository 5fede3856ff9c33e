#include "engine/LastMinutesFile.h"

#include <optional>
#include <vector>

#include "engine/LastMinutesRing.h"
#include "engine/ReplacingFile.h"
#include "files/wavefiles/TGWaveOutFile.h"

namespace tg {

namespace last_minutes_file {
constexpr std::string_view kSavingInfix = ".saving-";
}

LastMinutesSaved SaveLastMinutes(const LastMinutesRing& ring, const std::string& fileName) {
  LastMinutesSaved saved;
  const std::vector<int16_t> frames = ring.Copy();
  if (frames.empty()) {
    saved.problem = "Nothing has been played yet.";
    return saved;
  }
  ReplacingFile::RemoveStaleTemporaries(fileName, last_minutes_file::kSavingInfix);
  ReplacingFile target(fileName, last_minutes_file::kSavingInfix);
  saved.problem = target.Problem();
  if (!saved.problem.empty()) return saved;
  {
    TGWaveOutFile file(target.Temporary(), 44100, 2, true);
    if (!file.IsOpen()) {
      saved.problem = file.Error();
      return saved;
    }
    const auto count = static_cast<uint32_t>(frames.size() / 2);
    // All of it on the disk, the header's sizes included, before it
    // replaces anything.
    if (file.Write(frames.data(), count) != count || !file.UpdateHeader() || !file.Sync() ||
        !file.Close()) {
      saved.problem = file.Error();
      return saved;
    }
  }
  if (!target.Commit()) {
    saved.problem = target.Error();
    return saved;
  }
  saved.frames = static_cast<int64_t>(frames.size() / 2);
  return saved;
}

std::string LastMinutesFileName(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[64];
  std::strftime(text, sizeof text, "last-minutes-%Y%m%d-%H%M%S.wav", &local);
  return text;
}

}  // namespace tg
