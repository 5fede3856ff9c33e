#include <gtest/gtest.h>

#include <cstdlib>

#include "files/SoundFilePaths.h"
#include "host/MemorySettingsStore.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace sound_file_paths_test {

class SoundFilePathsTest : public ::testing::Test {
 protected:
  SoundFilePathsTest() {
    std::filesystem::create_directories(dir / "Songs/loops");
    std::filesystem::create_directories(dir / "Samples");
    std::filesystem::create_directories(dir / "App");
    paths.SetDocumentDirectory(dir / "Songs/patch.tgh");
    paths.SetDirectories({dir / "Samples"});
    paths.SetApplicationDirectory(dir / "App");
  }
  void Touch(const std::string& name) { test::WriteBytes(dir / name, {1}); }

  test::TempDir dir;
  SoundFilePaths paths;
};

TEST_F(SoundFilePathsTest, RelativeToTheFirstBaseThatHoldsThePath) {
  EXPECT_EQ(paths.DocumentDirectory(), dir / "Songs/");
  EXPECT_EQ(paths.Directories(), std::vector<std::string>{dir / "Samples/"});
  EXPECT_EQ(paths.MakeRelativePath(dir / "Samples/Kick.wav"), "Kick.wav");
  EXPECT_EQ(paths.MakeRelativePath(dir / "Songs/loops/a.wav"), "loops/a.wav");
  EXPECT_EQ(paths.MakeRelativePath(dir / "App/snare.wav"), "snare.wav");
  EXPECT_EQ(paths.MakeRelativePath("/elsewhere/x.wav"), "/elsewhere/x.wav");
  EXPECT_EQ(paths.MakeRelativePath(dir / "Samples/"), dir / "Samples/");  // a base itself stays
  EXPECT_EQ(paths.MakeRelativePath(""), "");

  // Letter case is ignored in the prefix test, and "\" counts as "/".
  std::string shouted = dir / "SONGS/loops/a.wav";
  EXPECT_EQ(paths.MakeRelativePath(shouted), "loops/a.wav");
}

TEST_F(SoundFilePathsTest, ResolvingTriesDocumentListedAndProgramDirectoriesInOrder) {
  Touch("Samples/Kick.wav");
  Touch("App/Kick.wav");
  EXPECT_EQ(paths.ResolveSoundFile("Kick.wav"), dir / "Samples/Kick.wav");
  Touch("Songs/Kick.wav");
  EXPECT_EQ(paths.ResolveSoundFile("Kick.wav"), dir / "Songs/Kick.wav");
  Touch("App/only.wav");
  EXPECT_EQ(paths.ResolveSoundFile("only.wav"), dir / "App/only.wav");

  Touch("Songs/loops/a.wav");
  EXPECT_EQ(paths.ResolveSoundFile("loops\\a.wav"), dir / "Songs/loops/a.wav");
  EXPECT_TRUE(paths.SoundFileExists("loops\\a.wav"));

  EXPECT_EQ(paths.ResolveSoundFile("gone.wav"), "gone.wav");
  EXPECT_FALSE(paths.SoundFileExists("gone.wav"));
  EXPECT_FALSE(paths.SoundFileExists(""));
  EXPECT_FALSE(paths.SoundFileExists("loops"));  // a directory is no sound file
  EXPECT_EQ(paths.ResolveSoundFile(dir / "App/Kick.wav"), dir / "App/Kick.wav");
}

TEST_F(SoundFilePathsTest, APatchFolderThatMovesKeepsItsSounds) {
  Touch("Songs/loops/a.wav");
  const std::string stored = paths.MakeRelativePath(dir / "Songs/loops/a.wav");
  std::filesystem::rename(dir / "Songs", dir / "Moved");
  paths.SetDocumentDirectory(dir / "Moved/patch.tgh");
  EXPECT_EQ(paths.ResolveSoundFile(stored), dir / "Moved/loops/a.wav");
}

TEST_F(SoundFilePathsTest, DocumentDirectoryOfANameWithoutDirectoryIsEmpty) {
  paths.SetDocumentDirectory("patch.tgh");
  EXPECT_EQ(paths.DocumentDirectory(), "");
  paths.SetDocumentDirectory("C:\\Songs\\patch.tgh");
  EXPECT_EQ(paths.DocumentDirectory(), "C:/Songs/");
}

TEST_F(SoundFilePathsTest, TheListIsStoredAndRemovedEntriesDisappear) {
  MemorySettingsStore settings;
  paths.SetDirectories({"/a", "/b/", "/c"});
  paths.Store(settings);
  EXPECT_EQ(settings.ReadString("0.7/SFPaths", "Path_0"), "/a/");
  EXPECT_EQ(settings.ReadString("0.7/SFPaths", "Path_2"), "/c/");

  paths.SetDirectories({"/a", "/b"});
  paths.Store(settings);
  EXPECT_TRUE(settings.ReadString("0.7/SFPaths", "Path_1"));
  EXPECT_FALSE(settings.ReadString("0.7/SFPaths", "Path_2"));

  SoundFilePaths loaded;
  loaded.Load(settings);
  EXPECT_EQ(loaded.Directories(), (std::vector<std::string>{"/a/", "/b/"}));

  MemorySettingsStore gap;  // reading stops at the first missing index
  gap.WriteString("0.7/SFPaths", "Path_0", "/x");
  gap.WriteString("0.7/SFPaths", "Path_2", "/z");
  loaded.Load(gap);
  EXPECT_EQ(loaded.Directories(), std::vector<std::string>{"/x/"});
}

// A file dialog started on /proc can block for ever reading a device-like
// file: such places are never proposed nor remembered.
TEST_F(SoundFilePathsTest, DialogsNeverStartOnAPseudoFileSystem) {
  for (const char* p : {"/proc/kmsg", "/proc", "/sys/x.wav", "/dev/take.wav", "/proc/../dev/x"})
    EXPECT_TRUE(IsOnPseudoFileSystem(p)) << p;
  for (const char* p : {"/process/a.wav", "/home/u/devices.wav", "/tmp/sys", "/"})
    EXPECT_FALSE(IsOnPseudoFileSystem(p)) << p;

  EXPECT_EQ(paths.DialogStartPath(dir / "Songs/take.wav"), dir / "Songs/take.wav");
  EXPECT_EQ(paths.DialogStartPath("/proc/self/take.wav"), dir / "Songs/take.wav");
  paths.SetDocumentDirectory("/proc/song.tgh");
  const char* home = std::getenv("HOME");
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(paths.DialogStartPath("/proc/take.wav"), std::string(home) + "/take.wav");

  paths.SetDocumentDirectory(dir / "Songs/patch.tgh");
  paths.SetLastOutputDirectory(dir / "Samples/a.wav");
  paths.SetLastOutputDirectory("/proc/kmsg");
  EXPECT_EQ(paths.LastOutputDirectory(), dir / "Samples/");
}

}  // namespace sound_file_paths_test
}  // namespace tg
