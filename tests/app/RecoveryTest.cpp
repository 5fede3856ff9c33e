#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "contraptions/generators/loopplayer/TGLoopPlayer.h"
#include "contraptions/io/soundout/TGSoundOut.h"
#include "engine/TAudioEngineModule.h"
#include "files/SoundFilePaths.h"
#include "files/loading/SoundLoader.h"
#include "framework/TContraptionFactory.h"
#include "host/StreamUserMessages.h"
#include "shell/RegisterContraptions.h"
#include "shell/document/Autosaver.h"
#include "shell/document/DocumentFile.h"
#include "shell/document/RecoveryFiles.h"
#include "shell/document/RecoveryOffer.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "tests/support/DeadProcess.h"
#include "tests/support/DocumentFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSoundFiles.h"

namespace tg {
namespace recovery_test {

using namespace std::chrono_literals;

std::string ReadText(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class RecoveryTest : public test::DocumentFixture {
 protected:
  // The texts of a patch growing edit by edit.
  std::vector<std::string> GrowingTexts(int count) {
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
      PatchNode* node = patch.NewContraption(i % 2 ? "SDelay" : "TestGen", 20 * i, 10 * i);
      if (i > 0) patch.Connect(model.NodeAt(i - 1), 0, *node, 0);
      texts.push_back(Text());
    }
    return texts;
  }
  // The document's autosaver as the window runs it, ticked at a given time.
  struct DocumentSaver {
    DocumentSaver(RecoveryTest& test, RecoveryFiles& files)
        : test_(test),
          saver_(
              files, [&test] { return test.document.FileName(); },
              [&test] { return test.Text(); }) {}
    bool Tick(Autosaver::Clock::time_point now) {
      return saver_.Tick(test_.patch.Modified(), test_.patch.TakeChangeCount(), now);
    }

   private:
    RecoveryTest& test_;
    Autosaver saver_;
  };

  test::TempDir dir;
};

TEST_F(RecoveryTest, ACopyIsWrittenEveryThirtySecondsOfChangesOrAfterFiftyCommands) {
  RecoveryFiles files(dir / "recovery", getpid());
  int texts = 0;
  Autosaver saver(
      files, [] { return std::string("/songs/song.tgh"); },
      [&] { return "text " + std::to_string(++texts); });
  const auto t0 = Autosaver::Clock::time_point{} + 1h;
  EXPECT_FALSE(saver.Tick(false, 0, t0));
  EXPECT_FALSE(saver.Tick(true, 1, t0));
  EXPECT_FALSE(saver.Tick(true, 0, t0 + 29s));
  EXPECT_TRUE(saver.Tick(true, 0, t0 + 30s));
  const std::string copy = files.OwnCopy();
  EXPECT_TRUE(copy.starts_with(dir / "recovery/song-")) << copy;
  EXPECT_EQ(ReadText(copy), "text 1");
  EXPECT_FALSE(saver.Tick(true, 0, t0 + 90s)) << "nothing new to keep";
  EXPECT_TRUE(saver.Tick(true, 1, t0 + 91s)) << "a change long after the last copy";
  EXPECT_FALSE(saver.Tick(true, 1, t0 + 100s));
  EXPECT_TRUE(saver.Tick(true, 0, t0 + 121s));
  EXPECT_TRUE(saver.Tick(true, 50, t0 + 122s)) << "fifty commands do not wait";
  EXPECT_EQ(ReadText(copy), "text 4");
  EXPECT_FALSE(saver.Tick(false, 0, t0 + 123s));
  EXPECT_FALSE(std::filesystem::exists(copy)) << "saved: the copy goes";
}

TEST_F(RecoveryTest, OnlyCopiesOfEndedProcessesAreOfferedAndOpenAsTheirDocumentModified) {
  const std::string original = dir / "song.tgh";
  GrowingTexts(3);
  const std::string saved = Text();
  ASSERT_TRUE(documentfile::WriteReplacing(original, saved));
  patch.NewContraption("NastyReverb", 300, 10);
  const std::string unsaved = Text();

  {
    // Programs that ended without removing their copies.
    RecoveryFiles crashed(dir / "recovery", test::DeadProcess());
    ASSERT_TRUE(crashed.Write(original, unsaved));
    RecoveryFiles untitled(dir / "recovery", test::DeadProcess());
    ASSERT_TRUE(untitled.Write("", saved));
  }
  RecoveryFiles running(dir / "recovery", 1);
  ASSERT_TRUE(running.Write(original, saved));
  RecoveryFiles self(dir / "recovery", getpid());
  ASSERT_TRUE(self.Write(original, saved));

  const auto orphans = self.FindOrphans();
  ASSERT_EQ(orphans.size(), 2u);
  std::set<std::string> originals{orphans[0].original, orphans[1].original};
  EXPECT_EQ(originals, (std::set<std::string>{"", original}));
  const auto& song = orphans[0].original.empty() ? orphans[1] : orphans[0];
  EXPECT_TRUE(RecoveryFiles::Question(song).starts_with(
      "Tonegarden did not close properly. Restore the unsaved changes to 'song.tgh' from "));
  const auto& other = orphans[0].original.empty() ? orphans[0] : orphans[1];
  EXPECT_NE(RecoveryFiles::Question(other).find("'Untitled'"), std::string::npos);

  ASSERT_TRUE(document.Recover(song.file, song.original));
  EXPECT_EQ(document.FileName(), original);
  document.UpdateModified();
  EXPECT_TRUE(document.IsModified());
  EXPECT_EQ(Text(), unsaved);
  EXPECT_EQ(ReadText(original), saved) << "the original waits for the user's save";

  RecoveryFiles::Discard(song);
  EXPECT_EQ(self.FindOrphans().size(), 1u);
  const std::string own = self.OwnCopy();
  self.RemoveOwn();
  EXPECT_FALSE(std::filesystem::exists(own));
}

TEST_F(RecoveryTest, ATakenCopyOpensAndBecomesOursARefusedOneGoes) {
  const std::string original = dir / "song.tgh";
  GrowingTexts(2);
  const std::string unsaved = Text();
  const auto crash = [&] {
    RecoveryFiles crashed(dir / "recovery", test::DeadProcess());
    ASSERT_TRUE(crashed.Write(original, unsaved));
  };
  crash();
  document.New();

  RecoveryFiles ours(dir / "recovery", getpid());
  queries.restore = false;
  EXPECT_FALSE(OfferRecovery(ours, document, queries));
  EXPECT_EQ(queries.restoreQuestions.size(), 1u);
  EXPECT_TRUE(ours.FindOrphans().empty()) << "refused: deleted";
  EXPECT_EQ(model.NodeCount(), 0);

  crash();
  queries.restore = true;
  EXPECT_TRUE(OfferRecovery(ours, document, queries));
  EXPECT_EQ(Text(), unsaved);
  EXPECT_EQ(document.FileName(), original);
  EXPECT_FALSE(std::filesystem::exists(original)) << "nothing written until the user saves";
  EXPECT_TRUE(ours.FindOrphans().empty());
  EXPECT_EQ(ReadText(ours.OwnCopy()), unsaved);
}

// A program given the process id of one that crashed (after a power cut)
// still offers its copy and never writes over it; a copy restored and saved
// is not offered again after a later crash.
TEST_F(RecoveryTest, CopiesAreMatchedToRunningProgramsByTheirLockNotTheirProcessId) {
  const std::string original = dir / "song.tgh";
  GrowingTexts(2);
  const std::string unsaved = Text();
  std::string left;
  {
    RecoveryFiles crashed(dir / "recovery", getpid());
    ASSERT_TRUE(crashed.Write(original, unsaved));
    left = crashed.OwnCopy();
    EXPECT_TRUE(crashed.FindOrphans().empty());
    RecoveryFiles other(dir / "recovery", getpid());
    EXPECT_TRUE(other.FindOrphans().empty()) << "its program still runs";
  }
  document.New();
  {
    RecoveryFiles ours(dir / "recovery", getpid());
    ASSERT_TRUE(ours.Write("", "an untitled patch of ours"));
    ASSERT_EQ(ours.FindOrphans().size(), 1u);
    EXPECT_EQ(ReadText(left), unsaved) << "not written over";
    ASSERT_TRUE(OfferRecovery(ours, document, queries));
    EXPECT_EQ(Text(), unsaved);
    EXPECT_FALSE(std::filesystem::exists(left));
    ASSERT_TRUE(document.Write());
    ours.RemoveOwn();
  }  // and the program crashes
  RecoveryFiles next(dir / "recovery", getpid());
  EXPECT_TRUE(next.FindOrphans().empty());
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "recovery")) {
    files.push_back(entry.path().filename());
  }
  EXPECT_TRUE(files.empty()) << files.front();
}

// A copy restored, edited briefly and saved before autosave wrote again is
// gone once saved: a later crash never offers the older text back over the
// saved one.
TEST_F(RecoveryTest, ARestoredCopyGoesWhenItsDocumentIsSaved) {
  const std::string original = dir / "song.tgh";
  GrowingTexts(2);
  const std::string unsaved = Text();
  {
    RecoveryFiles crashed(dir / "recovery", test::DeadProcess());
    ASSERT_TRUE(crashed.Write(original, unsaved));
  }
  document.New();
  std::string saved;
  {
    RecoveryFiles ours(dir / "recovery", getpid());
    DocumentSaver saver(*this, ours);
    const auto tick = [&](Autosaver::Clock::time_point now) { return saver.Tick(now); };
    const auto t0 = Autosaver::Clock::time_point{} + 1h;
    ASSERT_TRUE(OfferRecovery(ours, document, queries));
    EXPECT_FALSE(tick(t0));
    patch.NewContraption("TestGen", 200, 10);
    EXPECT_FALSE(tick(t0 + 5s));
    ASSERT_TRUE(document.Write());  // the user's Save
    document.ClearModified();
    saved = Text();
    for (const auto at : {t0 + 6s, t0 + 60s, t0 + 600s}) EXPECT_FALSE(tick(at));
  }  // and the program crashes
  RecoveryFiles next(dir / "recovery", getpid());
  EXPECT_TRUE(next.FindOrphans().empty()) << "the saved document is offered back older";
  EXPECT_EQ(ReadText(original), saved);
}

// Undo and redo change the document as any edit does: the copy keeps them.
TEST_F(RecoveryTest, AnUndoneDeletionIsKeptInTheCopy) {
  GrowingTexts(3);
  const std::string whole = Text();
  {
    RecoveryFiles ours(dir / "recovery", getpid());
    DocumentSaver saver(*this, ours);
    const auto tick = [&](Autosaver::Clock::time_point now) { return saver.Tick(now); };
    const auto t0 = Autosaver::Clock::time_point{} + 1h;
    EXPECT_FALSE(tick(t0));
    patch.Delete(model.NodeAt(1));
    ASSERT_EQ(model.NodeCount(), 2);
    EXPECT_TRUE(tick(t0 + 30s));
    patch.Undo();
    ASSERT_EQ(Text(), whole);
    EXPECT_FALSE(tick(t0 + 31s)) << "the half minute still holds";
    EXPECT_TRUE(tick(t0 + 60s)) << "the undo is kept";
  }  // and the program crashes
  RecoveryFiles next(dir / "recovery", getpid());
  const auto orphans = next.FindOrphans();
  ASSERT_EQ(orphans.size(), 1u);
  document.New();
  ASSERT_TRUE(document.Recover(orphans.front().file, orphans.front().original));
  EXPECT_EQ(model.NodeCount(), 3);
  EXPECT_EQ(Text(), whole);
}

// A crash copy names sound files in full; one written before that named them
// relative to its document, and is read as that document, never as a file of
// the recovery folder, where nothing but copies is ever written.
TEST_F(RecoveryTest, ARestoredCopyFindsItsSoundsAndTakesBesideItsDocument) {
  const std::string song = dir / "songs/";
  std::filesystem::create_directories(song + "samples");
  test::WriteLevel(song + "samples/loop.wav", 1000, 4410);
  const std::string original = song + "song.tgh";
  SetDocumentDirectory(original);
  PatchNode* loop = patch.NewContraption("LoopPlayer", 0, 0);
  PatchNode* out = patch.NewContraption("SoundOut", 0, 40);
  ASSERT_TRUE(loop && out);
  auto& file = static_cast<TGLoopPlayer&>(loop->contraption->Processor()).file;
  auto& take = static_cast<TGSoundOut&>(out->contraption->Processor()).outputFile;
  file.SetValue("samples/loop.wav");
  take.SetValue("take.wav");
  const std::string copyText = Text();
  EXPECT_NE(copyText.find("\"" + song + "samples/loop.wav\""), std::string::npos) << copyText;
  EXPECT_NE(copyText.find("\"" + song + "take.wav\""), std::string::npos);
  std::string earlier = copyText;
  for (const std::string& name : {song + "samples/loop.wav", song + "take.wav"}) {
    earlier.replace(earlier.find(name), name.size(), name.substr(song.size()));
  }

  for (const std::string& text : {copyText, earlier}) {
    SCOPED_TRACE(text == earlier ? "an earlier copy" : "a copy");
    document.New();
    SetDocumentDirectory(dir / "elsewhere/other.tgh");
    {
      RecoveryFiles crashed(dir / "recovery", test::DeadProcess());
      ASSERT_TRUE(crashed.Write(original, text));
    }
    RecoveryFiles ours(dir / "recovery", getpid());
    ASSERT_TRUE(OfferRecovery(ours, document, queries));
    SoundLoader::Instance().WaitUntilIdle();
    ASSERT_EQ(model.NodeCount(), 2);
    auto& restored = static_cast<TGLoopPlayer&>(model.NodeAt(0).contraption->Processor());
    EXPECT_EQ(restored.file.Value(), song + "samples/loop.wav");
    EXPECT_FALSE(restored.LoadFailed());
    auto& recorder = static_cast<TGSoundOut&>(model.NodeAt(1).contraption->Processor());
    EXPECT_EQ(recorder.OutputPath(), song + "take.wav");
    for (const auto& entry : std::filesystem::directory_iterator(dir / "recovery")) {
      const std::string name = entry.path().filename();
      EXPECT_TRUE(name.ends_with(".tgh") || name.ends_with(".origin") || name.ends_with(".lock"))
          << name;
    }
    ours.RemoveOwn();
  }
}

// A process that autosaves and saves without end is killed at random moments:
// the copy left always opens and is one of the texts written whole; the
// document is the old or the new text, never a mixture or empty.
TEST_F(RecoveryTest, AKillAtAnyMomentLeavesWholeCopiesAndAWholeDocument) {
  const std::vector<std::string> texts = GrowingTexts(24);
  const std::set<std::string> whole(texts.begin(), texts.end());
  const std::string original = dir / "song.tgh";
  std::mt19937 random(7);
  int copiesSeen = 0;
  for (int run = 0; run < 200; ++run) {
    SCOPED_TRACE(run);
    ASSERT_TRUE(documentfile::WriteReplacing(original, texts.front()));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      RecoveryFiles files(dir / "recovery", getpid());
      for (size_t i = 0;; i = (i + 1) % texts.size()) {
        files.Write(original, texts[i]);
        if (i % 5 == 4) documentfile::WriteReplacing(original, texts[i]);
      }
    }
    // Killed at a random moment once its first copy is there, however slow
    // the machine is to start it.
    const std::string first = "song-" + std::to_string(child) + "_";
    const auto written = [&] {
      std::error_code ec;
      for (std::filesystem::directory_iterator it(dir / "recovery", ec), end; !ec && it != end;
           it.increment(ec)) {
        const std::string name = it->path().filename();
        if (name.starts_with(first) && name.ends_with(".tgh")) return true;
      }
      return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!written() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);

    EXPECT_TRUE(whole.contains(ReadText(original))) << "the document was damaged";
    RecoveryFiles next(dir / "recovery", getpid());
    const auto orphans = next.FindOrphans();
    ASSERT_LE(orphans.size(), 1u);
    if (!orphans.empty()) {
      ++copiesSeen;
      EXPECT_EQ(orphans.front().original, original);
      const std::string copy = ReadText(orphans.front().file);
      EXPECT_TRUE(whole.contains(copy)) << "a copy was torn";
      if (run % 20 == 0) {
        ASSERT_TRUE(document.Recover(orphans.front().file, original));
        EXPECT_EQ(Text(), copy);
      }
      RecoveryFiles::Discard(orphans.front());
    }
    documentfile::RemoveStaleTemporaries(original);
  }
  EXPECT_EQ(copiesSeen, 200) << "every kill came after the first copy";
}

}  // namespace recovery_test
}  // namespace tg
