#include "tools/drumkit/DrumKitFiles.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "files/wavefiles/TGWaveOutFile.h"
#include "tools/drumkit/DrumKit.h"
#include "tools/drumkit/Loops.h"

namespace tg {

namespace {

namespace fs = std::filesystem;

bool ProcessRuns(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

// Leftovers of writers killed before their rename.
void RemoveStaleTemporaries(const fs::path& directory) {
  std::error_code ec;
  fs::directory_iterator it(directory, ec);
  if (ec) return;
  for (const fs::directory_entry& entry : it) {
    const std::string name = entry.path().filename().string();
    const size_t at = name.rfind(kDrumKitTemporaryInfix);
    if (at == std::string::npos) continue;
    const std::string_view digits =
        std::string_view(name).substr(at + kDrumKitTemporaryInfix.size());
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (error != std::errc() || end != digits.data() + digits.size() || pid <= 0) continue;
    if (pid == ::getpid() || ProcessRuns(pid)) continue;
    if (entry.is_regular_file(ec)) fs::remove(entry.path(), ec);
  }
}

// pcm holds interleaved frames of `channels` samples.
std::string WriteReplacing(const fs::path& target, const std::vector<int16_t>& pcm,
                           int16_t channels) {
  const std::string temporary =
      target.string() + std::string(kDrumKitTemporaryInfix) + std::to_string(::getpid());
  std::string error;
  {
    TGWaveOutFile file(temporary, drumkit::kSampleRate, channels, /*createNew=*/true);
    const auto frames = static_cast<uint32_t>(pcm.size() / static_cast<size_t>(channels));
    // The header and the samples reach the disk before the rename, so that
    // even a power cut leaves either the old file or the whole new one.
    const bool written = file.IsOpen() && file.Write(pcm.data(), frames) == frames &&
                         file.UpdateHeader() && file.Sync();
    if (!file.Close() || !written)
      error = file.Error().empty() ? std::string("could not be written") : file.Error();
  }
  if (error.empty() && std::rename(temporary.c_str(), target.c_str()) != 0)
    error = std::error_code(errno, std::generic_category()).message();
  if (!error.empty()) {
    std::remove(temporary.c_str());
    return target.string() + ": " + error;
  }
  return {};
}

}  // namespace

std::vector<int16_t> ToPcm16(const std::vector<double>& samples) {
  std::vector<int16_t> pcm(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    const double x = std::isfinite(samples[i]) ? samples[i] : 0.0;
    pcm[i] = static_cast<int16_t>(std::lround(std::clamp(x * 32767.0, -32767.0, 32767.0)));
  }
  return pcm;
}

std::string WriteDrumKit(const std::string& directory) {
  const fs::path dir(directory);
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) return directory + ": " + ec.message();
  if (!fs::is_directory(dir, ec)) return directory + ": Not a directory";
  RemoveStaleTemporaries(dir);
  const std::vector<DrumSound> kit = MakeDrumKit();
  for (const DrumSound& sound : kit) {
    const std::string error = WriteReplacing(dir / sound.fileName, ToPcm16(sound.samples), 1);
    if (!error.empty()) return error;
  }
  for (const LoopSound& loop : MakeLoops(kit)) {
    const std::string error = WriteReplacing(dir / loop.fileName, ToPcm16(loop.samples),
                                             static_cast<int16_t>(loop.channels));
    if (!error.empty()) return error;
  }
  return {};
}

}  // namespace tg
