#include <gtest/gtest.h>

#include "app/host/QtHostServices.h"
#include "files/SoundFilePaths.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace qt_host_services_test {

TEST(QtSettingsStoreTest, ValuesSurviveInTheFileAndGroupsAreFound) {
  test::TempDir dir;
  const QString ini = QString::fromStdString(dir / "settings.ini");
  {
    QtSettingsStore settings(ini);
    settings.WriteInt("0.7/OutStream", "BufferCount", 3);
    settings.WriteBool("0.7/OutStream", "Overdrive", false);
    SoundFilePaths paths;
    paths.SetDirectories({"/samples", "/loops"});
    paths.Store(settings);
    settings.Sync();
  }
  QtSettingsStore settings(ini);
  EXPECT_EQ(settings.ReadInt("0.7/OutStream", "BufferCount"), 3);
  EXPECT_EQ(settings.ReadBool("0.7/OutStream", "Overdrive"), false);
  EXPECT_TRUE(settings.HasGroup("0.7/OutStream"));
  EXPECT_FALSE(settings.HasGroup("0.7/InStream"));
  EXPECT_FALSE(settings.ReadString("0.7/OutStream", "Missing"));
  SoundFilePaths loaded;
  loaded.Load(settings);
  EXPECT_EQ(loaded.Directories(), (std::vector<std::string>{"/samples/", "/loops/"}));
  settings.Remove("0.7/SFPaths", "Path_1");
  EXPECT_FALSE(settings.ReadString("0.7/SFPaths", "Path_1"));
}

TEST(QtClipboardTest, PlainTextGoesThroughTheSystemClipboard) {
  QtClipboard clipboard;
  clipboard.SetText("preset: RingAM { 440, 0 }");
  ASSERT_TRUE(clipboard.Text());
  EXPECT_EQ(*clipboard.Text(), "preset: RingAM { 440, 0 }");
}

}  // namespace qt_host_services_test
}  // namespace tg
