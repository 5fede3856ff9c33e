#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "contraptions/generators/testgen/TGTestSignalGenerator.h"
#include "engine/LastMinutesFile.h"
#include "engine/LastMinutesRing.h"
#include "engine/TAudioEngineModule.h"
#include "engine/WaveExport.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "shell/RegisterContraptions.h"
#include "shell/patch/PatchEditor.h"
#include "tests/support/TempDir.h"

// Notes what each fsync left on the disk, by file, and whether each file
// renamed over another was then exactly as last synced.
namespace tg::durable_save_test {

using FileId = std::pair<dev_t, ino_t>;

std::mutex gMutex;
std::map<FileId, std::string> gSynced;
std::map<std::string, bool> gRenamedSynced;  // by the name renamed to

std::string ContentsOf(int fd) {
  std::string text;
  char chunk[65536];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, chunk, sizeof chunk, at);
    if (n <= 0) return text;
    text.append(chunk, static_cast<size_t>(n));
    at += n;
  }
}

template <typename Call>
Call Next(const char* name) {
  return reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
}

}  // namespace tg::durable_save_test

extern "C" int fsync(int fd) {
  using namespace tg::durable_save_test;
  static const auto next = Next<int (*)(int)>("fsync");
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    const std::lock_guard lock(gMutex);
    gSynced[{st.st_dev, st.st_ino}] = ContentsOf(fd);
  }
  return next(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept {
  using namespace tg::durable_save_test;
  static const auto next = Next<int (*)(const char*, const char*)>("rename");
  const int fd = ::open(from, O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0) {
    const std::lock_guard lock(gMutex);
    const auto synced = gSynced.find({st.st_dev, st.st_ino});
    gRenamedSynced[to] = synced != gSynced.end() && synced->second == ContentsOf(fd);
  }
  if (fd >= 0) ::close(fd);
  return next(from, to);
}

namespace tg::durable_save_test {

bool RenamedOverWhenSynced(const std::string& name) {
  const std::lock_guard lock(gMutex);
  const auto it = gRenamedSynced.find(name);
  return it != gRenamedSynced.end() && it->second;
}

// A wave file is renamed over the one it replaces only once all of it, the
// header's final sizes included, is on the disk: a power cut after an export
// or a save of the last minutes was reported never leaves a file whose
// header disowns its samples.
TEST(DurableSaveTest, ExportsAndSavedMinutesAreOnTheDiskBeforeTheyReplaceAFile) {
  test::TempDir dir;
  TContraptionFactory factory;
  RegisterContraptionTypes(factory);
  TAudioEngineModule engine{factory};
  PatchModel model;
  PatchEditor patch{engine, model};
  PatchNode* gen = patch.NewContraption("TestGen", 0, 0);
  PatchNode* out = patch.NewContraption("SoundOut", 0, 50);
  ASSERT_TRUE(gen && out);
  patch.Connect(*gen, 0, *out, 0);
  static_cast<TGTestSignalGenerator&>(gen->contraption->Processor()).amplitude.SetValue(0.5);

  WaveExportRequest request;
  request.fileName = dir / "export.wav";
  test::WriteBytes(request.fileName, std::vector<uint8_t>(10, 'x'));
  ASSERT_EQ(ExportAsWave(engine, request, nullptr), WaveExportResult::Written);
  EXPECT_TRUE(RenamedOverWhenSynced(request.fileName));

  LastMinutesRing ring;
  ring.Reserve(44100);
  const auto previous = ring.Engage();
  const std::vector<int16_t> frames(2 * 1000, 1234);
  ring.Write(frames.data(), 1000);
  const std::string minutes = dir / "minutes.wav";
  test::WriteBytes(minutes, std::vector<uint8_t>(10, 'x'));
  const LastMinutesSaved saved = SaveLastMinutes(ring, minutes);
  ASSERT_EQ(saved.problem, "");
  EXPECT_EQ(saved.frames, 1000);
  EXPECT_TRUE(RenamedOverWhenSynced(minutes));
}

}  // namespace tg::durable_save_test
