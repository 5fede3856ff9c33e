#include <gtest/gtest.h>

#include <fstream>

#include "engine/TAudioEngineModule.h"
#include "engine/streams/KWWaveOutStream.h"
#include "framework/TContraptionFactory.h"
#include "host/MemorySettingsStore.h"
#include "host/StreamUserMessages.h"
#include "shell/RegisterContraptions.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "shell/program/CommandLine.h"
#include "shell/program/KWReloadManager.h"
#include "shell/program/LivePlayer.h"
#include "shell/program/WindowPlacement.h"
#include "tests/support/ManualWaveDevice.h"
#include "tests/support/ScriptedQueries.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace shell_test {

TEST(CommandLineTest, FileAndSwitchesInAnyCase) {
  test::TempDir dir;
  const std::string file = dir / "song.tgh";
  std::ofstream(file) << "x";
  const CommandLine c = ParseCommandLine({"tonegarden", "/startdacs", file, "/StartClock"});
  EXPECT_FALSE(c.error);
  EXPECT_EQ(c.fileName, file);  // an absolute path is a file, not a switch
  EXPECT_TRUE(c.startAudioOut);
  EXPECT_TRUE(c.StartsClock());
  EXPECT_FALSE(c.StartsAudioIn());

  // The clock and audio in start only together with audio out.
  const CommandLine clockOnly = ParseCommandLine({"tonegarden", file, "/STARTCLOCK", "/STARTADCS"});
  EXPECT_TRUE(clockOnly.startClock);
  EXPECT_FALSE(clockOnly.StartsClock());
  EXPECT_FALSE(clockOnly.StartsAudioIn());

  // A document that does not exist is quietly not taken.
  EXPECT_EQ(ParseCommandLine({"tonegarden", dir / "missing.tgh"}).fileName, "");
}

TEST(CommandLineTest, BadArgumentsAreReportedAndStopTheReading) {
  test::TempDir dir;
  const std::string file = dir / "a.tgh";
  std::ofstream(file) << "x";
  const CommandLine bad = ParseCommandLine({"tonegarden", "/STARTDACS", "/LOUD", "/STARTCLOCK"});
  ASSERT_TRUE(bad.error);
  EXPECT_EQ(*bad.error, "Bad command line parameter number 2: \"/LOUD\"");
  EXPECT_TRUE(bad.startAudioOut);  // earlier results stay
  EXPECT_FALSE(bad.startClock);    // later ones are not read

  const CommandLine two = ParseCommandLine({"tonegarden", file, "other.tgh"});
  ASSERT_TRUE(two.error);
  EXPECT_EQ(*two.error, "Bad command line parameter number 2: \"other.tgh\"");
  EXPECT_EQ(two.fileName, file);
}

TEST(ReloadManagerTest, MostRecentFirstWithoutRepeatsAndAtMostTen) {
  KWReloadManager list;
  for (int i = 0; i < 12; ++i) list.Add("/songs/" + std::to_string(i) + ".tgh");
  ASSERT_EQ(list.Files().size(), 10u);
  EXPECT_EQ(list.Files().front(), "/songs/11.tgh");
  EXPECT_EQ(list.Files().back(), "/songs/2.tgh");
  list.Add("/songs/5.tgh");
  EXPECT_EQ(list.Files().front(), "/songs/5.tgh");
  EXPECT_EQ(list.Files().size(), 10u);
  list.Add("");
  EXPECT_EQ(list.Files().front(), "/songs/5.tgh");

  MemorySettingsStore settings;
  list.Store(settings);
  KWReloadManager shorter;
  shorter.Add("/a.tgh");
  shorter.Store(settings);  // removes File_1 … File_9
  KWReloadManager loaded;
  loaded.Load(settings);
  EXPECT_EQ(loaded.Files(), std::vector<std::string>{"/a.tgh"});
  // Missing values in between are skipped.
  settings.WriteString(SettingsGroup("Closed Files"), "File_4", "/b.tgh");
  loaded.Load(settings);
  EXPECT_EQ(loaded.Files(), (std::vector<std::string>{"/a.tgh", "/b.tgh"}));
}

TEST(WindowPlacementTest, FirstStartHasNoneAndStoredPlacesStayOnTheScreen) {
  MemorySettingsStore settings;
  EXPECT_FALSE(WindowPlacement::Load(settings));
  WindowPlacement p;
  p.left = 3000;
  p.top = 40;
  p.width = 2000;
  p.height = 700;
  p.toolBar = false;
  p.Store(settings);
  auto loaded = WindowPlacement::Load(settings);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->toolBar, std::optional<bool>(false));
  EXPECT_FALSE(loaded->statusBar);  // never stored: the window keeps its own
  const WindowPlacement::Rect screen{0, 0, 1280, 1024};
  const WindowPlacement::Rect fitted = loaded->FrameOn({screen}, {});
  EXPECT_EQ(fitted.width, 1280);
  EXPECT_EQ(fitted.left, 0);  // beyond the screen: centred
  EXPECT_EQ(fitted.top, 40);
  WindowPlacement narrow = *loaded;
  narrow.width = 800;
  narrow.left = 1500;
  EXPECT_EQ(narrow.FrameOn({screen}, {}).left, 240);

  // With a frame and a second screen: a title bar on a screen keeps it there,
  // the frame whole on it; one above every screen comes down onto the main one.
  const WindowPlacement::Frame frame{4, 30, 4, 4};
  const WindowPlacement::Rect side{1280, 0, 1920, 1080};
  WindowPlacement p2;
  p2.left = 2800;
  p2.top = 500;
  p2.width = 600;
  p2.height = 700;
  EXPECT_EQ(p2.FrameOn({screen, side}, frame), (WindowPlacement::Rect{2592, 346, 608, 734}));
  p2.left = 0;
  p2.top = -30;  // the first start's old mistake: the title bar above the screen
  EXPECT_EQ(p2.FrameOn({screen, side}, frame), (WindowPlacement::Rect{0, 0, 608, 734}));

  // Where positions mean nothing, only the size is kept.
  p2.hasPosition = false;
  p2.Store(settings);
  EXPECT_FALSE(settings.ReadInt(SettingsGroup("Main Window"), "Left"));
  EXPECT_FALSE(WindowPlacement::Load(settings)->hasPosition);
}

// A headless program on a device the test drives, and fails.
struct ManualDeviceProgram {
  ManualDeviceProgram() {
    RegisterContraptionTypes(factory);
    engine.Host().messages = &messages;
  }
  TContraptionFactory factory;
  test::ManualWaveDeviceLayer layer;
  TAudioEngineModule engine{factory, std::make_unique<KWWaveOutStream>(layer)};
  StreamUserMessages messages{nullptr};
  PatchModel model;
  PatchEditor patch{engine, model};
  test::ScriptedQueries queries;
  TGDocument document{patch, queries};
};

// The player reads its patch again while the output device will not open
// again: it says so, rather than that the patch plays on.
TEST(LivePlayerTest, AReadAgainWhoseDeviceWillNotOpenSaysSo) {
  ManualDeviceProgram program;
  test::TempDir dir;
  program.queries.saveName = dir / "song.tgh";
  ASSERT_TRUE(program.document.SaveAs());
  LivePlayer player(program.engine, program.document);
  ASSERT_TRUE(player.Open(dir / "song.tgh"));
  ASSERT_EQ(player.Start(false), "");
  EXPECT_TRUE(player.Reload().read);
  program.layer.out.refusal = "the device is gone";
  const LivePlayer::Reloaded reloaded = player.Reload();
  EXPECT_TRUE(reloaded.read);
  EXPECT_EQ(reloaded.deviceProblem, "the device is gone");
  EXPECT_FALSE(program.engine.IsAudioOutRunning());
}

// Deleting SoundOut stops the output; a device unplugged meanwhile fails to
// stop, and the deletion still ends whole: said, and undoable.
TEST(DeviceGoneTest, DeletingSoundOutFromAnUnpluggedDeviceEndsWhole) {
  ManualDeviceProgram program;
  PatchNode* out = program.patch.NewContraption("SoundOut", 0, 0);
  program.engine.StartAudioOut();
  program.layer.out.closeRefusal = "the device is gone";
  program.patch.Delete(*out);
  EXPECT_EQ(program.model.NodeCount(), 0);
  EXPECT_FALSE(program.engine.IsAudioOutRunning());
  ASSERT_FALSE(program.messages.Messages().empty());
  EXPECT_EQ(program.messages.Messages().back().text, "the device is gone");
  program.layer.out.closeRefusal.clear();
  ASSERT_TRUE(program.patch.CanUndo());
  program.patch.Undo();
  EXPECT_EQ(program.model.NodeCount(), 1);
  EXPECT_TRUE(program.engine.HasSoundOut());
}

}  // namespace shell_test
}  // namespace tg
