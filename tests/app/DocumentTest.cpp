#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "contraptions/effects/sdelay/TGSDelay.h"
#include "contraptions/generators/drums/TGDrums.h"
#include "contraptions/generators/testgen/TGTestSignalGenerator.h"
#include "contraptions/io/soundout/TGSoundOut.h"
#include "engine/TAudioEngineModule.h"
#include "files/SoundFilePaths.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "host/StreamUserMessages.h"
#include "properties/QSCStringProperty.h"
#include "properties/QSPropertyTable.h"
#include "shell/RegisterContraptions.h"
#include "shell/document/DocumentBudget.h"
#include "shell/document/KWDocumentController.h"
#include "shell/document/PatchFragment.h"
#include "shell/document/RecoveryFiles.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "tests/support/DeadProcess.h"
#include "tests/support/DocumentFixture.h"
#include "tests/support/ScriptedQueries.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSoundFiles.h"

namespace tg {
namespace document_test {

using test::ScriptedQueries;

std::string EmptyPresets() {
  std::string s = "{ ";
  for (int i = 0; i < 20; ++i) s += i == 0 ? "{  }" : ", {  }";
  return s + " }";
}

class DocumentTest : public test::DocumentFixture {
 protected:
  bool ReadText(const std::string& text) {
    document.New();
    messages = StreamUserMessages(nullptr);
    std::istringstream in(text);
    return document.ReadFrom(in);
  }
  std::string LastMessage() const {
    return messages.Messages().empty() ? "" : messages.Messages().back().text;
  }

  test::TempDir dir;
};

TEST_F(DocumentTest, AnEmptyDocumentHasExactlyThisText) {
  EXPECT_EQ(Text(),
            ".tgh 0.5\r\ntempo:\r\n\t120\r\nvisual1:\r\n\t180\r\n\t1\r\n\t1\r\ncontraptions:\r\n"
            "connections:\r\nend\r\n");
  EXPECT_EQ(document.Title(), "Untitled");
}

TEST_F(DocumentTest, ContraptionsAndConnectionsAreWrittenAsThePartShows) {
  PatchNode* gen = patch.NewContraption("TestGen", 40, 30);
  PatchNode* delay = patch.NewContraption("SDelay", 120, 30);
  ASSERT_TRUE(gen && delay);
  delay->contraption->WindowState().windowOpen = true;
  delay->contraption->WindowState().windowTop = 10;
  delay->contraption->WindowState().windowLeft = 20;
  ASSERT_NE(patch.Connect(*gen, 0, *delay, 0), nullptr);
  EXPECT_EQ(patch.Connect(*gen, 0, *delay, 0), nullptr);  // that inlet is taken
  const std::string text = Text();
  EXPECT_NE(text.find("\tTestGen\tTestGen_1\t{ 0, 440, 1 }\t" + EmptyPresets() +
                      "{ }{ 40 30 F Z Z 0 0 Z Z Z Z  }\t\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\tSDelay\tSDelay_1\t{ 200, 200, 0.3, 1, 0 }\t" + EmptyPresets() +
                      "{ }{ 120 30 T Z Z 10 20 Z Z Z Z  }\t\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("connections:\r\n\tTestGen_1\t0\tSDelay_1\t0\r\nend\r\n"), std::string::npos);
}

TEST_F(DocumentTest, WriteReadWriteGivesTheSameText) {
  PatchNode* gen = patch.NewContraption("TestGen", 40, 30);
  PatchNode* delay = patch.NewContraption("SDelay", 120, 60);
  PatchNode* out = patch.NewContraption("SoundOut", 100, 200);
  PatchNode* mix = patch.NewContraption("P3Mixer", 10, 250);
  patch.Connect(*gen, 0, *delay, 0);
  patch.Connect(*delay, 0, *out, 0);
  patch.Connect(*delay, 1, *out, 1);
  patch.Connect(*gen, 0, *mix, 2);
  auto& g = static_cast<TGTestSignalGenerator&>(gen->contraption->Processor());
  g.amplitude.SetValue(0.25);
  gen->contraption->StorePreset(0);
  g.frequency.SetValue(1234.5);
  gen->contraption->StorePreset(19);
  engine.SetTempo(97);
  model.SetPaneWidth(321);
  model.SetPropertiesShown(false);
  const std::string first = Text();

  ASSERT_TRUE(ReadText(first));
  EXPECT_TRUE(messages.Messages().empty()) << LastMessage();
  EXPECT_EQ(model.NodeCount(), 4);
  EXPECT_EQ(model.ConnectionCount(), 4);
  EXPECT_TRUE(engine.HasSoundOut());
  EXPECT_EQ(Text(), first);
}

// Opening a large patch must not work out the processing order at every
// wire: the whole document is one edit of the graph, and one change the
// windows hear of; the order comes out as an edit at a time would give it.
TEST_F(DocumentTest, ADocumentIsReadAsOneChangeOfTheGraph) {
  PatchNode* out = patch.NewContraption("SoundOut", 0, 0);
  PatchNode* mix = patch.NewContraption("S12Mixer", 0, 40);
  patch.Connect(*mix, 0, *out, 0);
  for (int k = 0; k < 12; ++k) {
    PatchNode* gen = patch.NewContraption("TestGen", 20 * k, 100);
    PatchNode* pan = patch.NewContraption("P2Mixer", 20 * k, 120);
    PatchNode* delay = patch.NewContraption("SDelay", 20 * k, 140);
    ASSERT_NE(patch.Connect(*gen, 0, *pan, 0), nullptr);
    ASSERT_NE(patch.Connect(*pan, 0, *delay, 0), nullptr);
    ASSERT_NE(patch.Connect(*delay, 0, *mix, k), nullptr);
    ASSERT_NE(patch.Connect(*delay, 1, *pan, 1), nullptr);  // a feedback loop, conditioned
  }
  const std::string text = Text();
  const QSDynSigContext& context = engine.GetContext();
  const std::vector<QSDynSigPipe*> order = context.UpdateList();
  const int limiters = context.LimiterCount();
  ASSERT_EQ(limiters, 12);

  document.New();
  int changes = 0;
  patch.SetChangedHandler([&] { ++changes; });
  const int32_t before = context.Generation();
  std::istringstream in(text);
  ASSERT_TRUE(document.ReadFrom(in));
  EXPECT_EQ(context.Generation() - before, 1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(Text(), text);
  EXPECT_EQ(context.UpdateList().size(), order.size());
  EXPECT_EQ(context.LimiterCount(), limiters);
  patch.SetChangedHandler({});  // before `changes` goes
}

TEST_F(DocumentTest, RefusedMagicAndVersions) {
  const std::string body = "\r\ntempo:\r\n\t100\r\nend\r\n";
  EXPECT_TRUE(ReadText(".tgh 0.9" + body));
  EXPECT_NEAR(engine.Tempo(), 100.0, 1e-9);
  EXPECT_FALSE(ReadText(".tgh 0.91" + body));
  EXPECT_EQ(
      LastMessage(),
      "The specified document was created by a newer version of Tonegarden and cannot be opened.");
  EXPECT_EQ(messages.Messages().back().caption, "Error Reading Document");
  EXPECT_FALSE(ReadText(".TGH 0.5" + body));
  EXPECT_EQ(LastMessage(), "The specified file is not a Tonegarden document.");
  EXPECT_FALSE(ReadText(".tgh nan" + body));
  EXPECT_FALSE(ReadText(""));
  EXPECT_NEAR(engine.Tempo(), 120.0, 1e-9);  // an empty document remains
}

TEST_F(DocumentTest, UnknownTypesSectionsAndNamesAreSkippedAndReported) {
  const std::string text =
      ".tgh 0.5\r\nmystery:\r\n\tanything at all\r\n\tmore\r\ntempo:\r\n\t90\r\ncontraptions:\r\n"
      "\tTheremin\tTheremin_1\t{ 1 }\t{ }{ }{ 0 0 F Z Z 0 0 Z Z Z Z  }\t\r\n"
      "\tTestGen\tTestGen_4\t{ 0.5, 220, 1 }\t{ }{ }{ 5 6 F Z Z 0 0 Z Z Z Z  }\t\r\n"
      "\tSDelay\tSDelay_1\t{ 100, 100; 0.3, 1, 0 }\t{ }{ }{ 7 8 F Z Z 0 0 Z Z Z Z  }\t\r\n"
      "connections:\r\n\tTheremin_1\t0\tTestGen_4\t0\r\n\tTestGen_4\t0\tSDelay_1\t0\r\n"
      "\tTestGen_4\t7\tSDelay_1\t1\r\nend\r\n";
  ASSERT_TRUE(ReadText(text));
  EXPECT_NEAR(engine.Tempo(), 90.0, 1e-9);
  ASSERT_EQ(model.NodeCount(), 2);
  EXPECT_EQ(model.NodeAt(0).caption, "TestGen_4");
  EXPECT_EQ(model.NodeAt(0).x, 5);
  EXPECT_EQ(model.NodeAt(1).caption, "SDelay_1");
  EXPECT_EQ(model.ConnectionCount(), 1);  // the unknown name and the bad outlet are dropped
  EXPECT_NE(LastMessage().find("unknown type \"Theremin\""), std::string::npos) << LastMessage();
  EXPECT_NE(LastMessage().find("some values of SDelay_1"), std::string::npos);
  // Automatic names go on around the numbers the document used.
  EXPECT_EQ(patch.NewContraption("TestGen", 0, 0)->caption, "TestGen_1");
}

TEST_F(DocumentTest, SplitterAndVisualSectionsTheLaterWins) {
  ASSERT_TRUE(
      ReadText(".tgh 0.5\r\nsplitter:\r\n\t250\r\nvisual1:\r\n\t300\r\n\t1\r\n\t0\r\nend\r\n"));
  EXPECT_EQ(model.PaneWidth(), 300);
  EXPECT_FALSE(model.PropertiesShown());
  ASSERT_TRUE(
      ReadText(".tgh 0.5\r\nvisual1:\r\n\t300\r\n\t0\r\n\t1\r\nsplitter:\r\n\t99999\r\nend\r\n"));
  EXPECT_EQ(model.PaneWidth(), TGDocument::kMaxPaneWidth);
  EXPECT_FALSE(model.PatcherShown());
}

TEST_F(DocumentTest, LongNamesAndTokensAreRefusedNotOverrun) {
  const std::string longName(200, 'n');
  const std::string name199(199, 'm');
  ASSERT_TRUE(ReadText(".tgh 0.5\r\ncontraptions:\r\n\tTestGen\t" + longName +
                       "\t{ 0, 440, 1 }\t{ }{ }{ 0 0 F Z Z 0 0 Z Z Z Z  }\t\r\n\tTestGen\t" +
                       name199 + "\t{ 0, 440, 1 }\t{ }{ }{ 0 0 F Z Z 0 0 Z Z Z Z  }\t\r\nend\r\n"));
  ASSERT_EQ(model.NodeCount(), 1);
  EXPECT_EQ(model.NodeAt(0).caption, name199);
}

TEST_F(DocumentTest, AnyInputEndsWithoutCrashOrHang) {
  PatchNode* gen = patch.NewContraption("TestGen", 40, 30);
  PatchNode* out = patch.NewContraption("SoundOut", 40, 90);
  patch.Connect(*gen, 0, *out, 0);
  gen->contraption->StorePreset(3);
  const std::string good = Text();
  for (size_t cut = 0; cut < good.size(); cut += 3) ReadText(good.substr(0, cut));
  std::mt19937 random(5);
  for (int round = 0; round < 300; ++round) {
    std::string bad = good;
    for (int k = 0; k < 8; ++k) bad[random() % bad.size()] = static_cast<char>(random());
    ReadText(bad);
  }
  ReadText(
      ".tgh 0.5\r\ntempo:\r\n\tinf\r\ncontraptions:\r\n\tTestGen\tT_1\t{ nan, inf, -inf "
      "}\t\r\nend\r\n");
  EXPECT_NEAR(engine.Tempo(), 120.0, 1e-9);
  ReadText(".tgh 0.5\r\ncontraptions:\r\n\t" + std::string(1 << 20, 'x') + "\r\nend\r\n");
  ReadText(".tgh 0.5\r\n" + std::string(1 << 20, '\t'));
  std::string many = ".tgh 0.5\r\ncontraptions:\r\n";
  for (int i = 1; i <= 1000; ++i) {
    many += "\tTestGen\tTestGen_" + std::to_string(i) +
            "\t{ 0, 440, 1 }\t{ }{ }{ 0 0 F Z Z 0 0 Z Z Z Z  }\t\r\n";
  }
  ASSERT_TRUE(ReadText(many + "end\r\n"));
  EXPECT_EQ(model.NodeCount(), 1000);
}

// A name as long as a folder allows, ending in a character of several
// bytes: saved and saved again, its crash copy kept, and nothing left beside it.
TEST_F(DocumentTest, TheLongestNameSavesAndKeepsACrashCopy) {
  std::string base = std::string(241, 'a') + "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9";
  const std::string name = dir / (base + ".tgh");
  ASSERT_EQ(base.size() + 4, 255u);
  queries.saveName = name;
  KWDocumentController controller(document, queries);
  patch.NewContraption("TestGen", 1, 2);
  ASSERT_TRUE(controller.Save()) << LastMessage();
  patch.NewContraption("SDelay", 3, 4);
  ASSERT_TRUE(controller.Save()) << LastMessage();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  RecoveryFiles copies(dir / "recovery", 4242);
  EXPECT_TRUE(copies.Write(name, "text"));
  copies.RemoveOwn();
}

TEST_F(DocumentTest, SavingReplacesTheFileOnlyWhenComplete) {
  const std::string name = dir / "song.tgh";
  queries.saveName = name;
  KWDocumentController controller(document, queries);
  patch.NewContraption("TestGen", 1, 2);
  ASSERT_TRUE(controller.Save());  // untitled: asks for a name
  EXPECT_EQ(document.FileName(), name);
  EXPECT_EQ(document.Title(), "song");
  EXPECT_FALSE(document.IsModified());
  const auto saved = test::ReadBytes(name);

  // A directory in the way of the temporary file makes the save fail.
  std::filesystem::create_directory(name + ".saving-" + std::to_string(getpid()));
  patch.NewContraption("SDelay", 3, 4);
  EXPECT_FALSE(controller.Save());
  EXPECT_EQ(LastMessage(), "An error occurred while saving the document.\n" + name + ": " +
                               std::strerror(EISDIR) + ".");
  document.UpdateModified();
  EXPECT_TRUE(document.IsModified());
  EXPECT_EQ(test::ReadBytes(name), saved);  // the last good copy is intact
  std::filesystem::remove(name + ".saving-" + std::to_string(getpid()));
  EXPECT_TRUE(controller.Save());
  EXPECT_FALSE(std::filesystem::exists(name + ".saving-" + std::to_string(getpid())));

  // A name that is no regular file (a pipe, a device) is never replaced by one.
  const std::string pipe = dir / "pipe.tgh";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  queries.saveName = pipe;
  EXPECT_FALSE(document.SaveAs());
  EXPECT_EQ(LastMessage(),
            "An error occurred while saving the document.\n" + pipe + ": not a regular file.");
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
  EXPECT_EQ(document.FileName(), name);
}

TEST_F(DocumentTest, TheControllerAsksBeforeLosingChanges) {
  KWDocumentController controller(document, queries);
  EXPECT_TRUE(controller.NewDocument());
  EXPECT_EQ(queries.saveQuestions, 0);
  patch.NewContraption("TestGen", 0, 0);
  queries.cancelSave = true;
  EXPECT_FALSE(controller.CanClose());
  EXPECT_FALSE(controller.NewDocument());
  EXPECT_EQ(model.NodeCount(), 1);
  queries.cancelSave = false;
  queries.saveChanges = true;
  queries.saveName = "";  // the save dialog is cancelled: the document stays
  EXPECT_FALSE(controller.NewDocument());
  EXPECT_EQ(model.NodeCount(), 1);
  queries.saveChanges = false;  // "No": discard
  EXPECT_TRUE(controller.NewDocument());
  EXPECT_EQ(model.NodeCount(), 0);

  const std::string name = dir / "a.tgh";
  std::ofstream(name) << ".tgh 0.5\r\ntempo:\r\n\t60\r\nend\r\n";
  EXPECT_TRUE(controller.OpenFile(name));
  EXPECT_NEAR(engine.Tempo(), 60.0, 1e-9);
  EXPECT_FALSE(controller.OpenFile(dir / "missing.tgh"));
  EXPECT_EQ(LastMessage(), "An error occurred while opening the document.\n" +
                               (dir / "missing.tgh") + ": not found.");
}

// Whatever is wrong with the file, the patch the user has stays exactly as it
// was: its name, contents and modified state, with no question asked.
TEST_F(DocumentTest, AFailedOpenOrRevertLeavesTheCurrentPatchAsItWas) {
  KWDocumentController controller(document, queries);
  const std::string name = dir / "song.tgh";
  queries.saveName = name;
  patch.NewContraption("TestGen", 10, 20);
  ASSERT_TRUE(controller.Save());
  patch.NewContraption("SDelay", 30, 40);  // an unsaved change
  const std::string before = Text();
  auto unchanged = [&] {
    document.UpdateModified();
    return document.FileName() == name && Text() == before && document.IsModified() &&
           queries.saveQuestions == 0;
  };

  EXPECT_FALSE(controller.OpenFile(dir / "missing.tgh"));
  EXPECT_EQ(LastMessage(), "An error occurred while opening the document.\n" +
                               (dir / "missing.tgh") + ": not found.");
  EXPECT_TRUE(unchanged());
  for (const std::string& garbage : {std::string(),
                                     std::string("\x7f"
                                                 "ELF\x02\x01"),
                                     std::string(".TGH 0.5\r\nend\r\n")}) {
    std::ofstream(dir / "bad.tgh", std::ios::binary) << garbage;
    EXPECT_FALSE(controller.OpenFile(dir / "bad.tgh"));
    EXPECT_EQ(LastMessage(), "The specified file is not a Tonegarden document.");
    EXPECT_TRUE(unchanged());
  }
  std::ofstream(dir / "new.tgh", std::ios::binary) << ".tgh 1.0\r\nend\r\n";
  EXPECT_FALSE(controller.OpenFile(dir / "new.tgh"));
  EXPECT_TRUE(unchanged());

  // Revert of a file that has gone meanwhile.
  std::filesystem::remove(name);
  EXPECT_FALSE(controller.Revert());
  EXPECT_TRUE(unchanged());
}

// Only a regular file of a document's size is read, once and whole: a pipe,
// a folder or a device is refused at once (never waiting for a writer, never
// reading without end), and the patch the user has stays as it was.
TEST_F(DocumentTest, WhatIsNoRegularFileOrTooLargeIsRefusedAtOnce) {
  patch.NewContraption("TestGen", 10, 20);
  const std::string before = Text();
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(write(ends[1], before.data(), before.size()), static_cast<ssize_t>(before.size()));
  close(ends[1]);
  const std::string big = dir / "big.tgh";
  std::ofstream(big, std::ios::binary) << before;
  std::filesystem::resize_file(big, TGDocument::kMaxDocumentBytes + 1);
  ASSERT_EQ(mkfifo((dir / "fifo.tgh").c_str(), 0600), 0);
  using Case = std::pair<std::string, std::string>;
  for (const auto& [name, problem] :
       {Case{"/dev/fd/" + std::to_string(ends[0]), "it is a pipe"},
        Case{dir.Path(), "it is a folder"}, Case{big, "it is larger than 64 MB"},
        Case{"/dev/zero", "it is a device, not a file"}, Case{dir / "fifo.tgh", "it is a pipe"}}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(document.Open(name));
    EXPECT_EQ(LastMessage(), "The specified file cannot be opened: " + problem + ".");
    EXPECT_EQ(Text(), before);
    EXPECT_FALSE(document.CanOpen(name));
  }
  close(ends[0]);
}

// Names in a document are relative to it: two songs in two folders that both
// name "take.wav" record beside themselves, whichever was open before.
TEST_F(DocumentTest, RelativeSoundFileNamesAreFoundBesideTheirDocument) {
  PatchNode* out = patch.NewContraption("SoundOut", 0, 0);
  ASSERT_NE(out, nullptr);
  static_cast<TGSoundOut&>(out->contraption->Processor()).outputFile.SetValue("take.wav");
  const std::string text = Text();
  document.New();
  for (const char* folder : {"one", "two"}) {
    std::filesystem::create_directory(dir / folder);
    std::ofstream(dir / folder + "/song.tgh", std::ios::binary) << text;
  }
  SetDocumentDirectory(dir / "elsewhere.tgh");
  KWDocumentController controller(document, queries);
  ASSERT_TRUE(controller.OpenFile(dir / "one/song.tgh"));
  engine.SoundOutProcessor().WaitForFile();  // its worker makes the file
  EXPECT_TRUE(std::filesystem::exists(dir / "one/take.wav"));
  EXPECT_FALSE(std::filesystem::exists(dir / "take.wav"));
  ASSERT_TRUE(controller.OpenFile(dir / "two/song.tgh"));
  engine.SoundOutProcessor().WaitForFile();
  EXPECT_TRUE(std::filesystem::exists(dir / "two/take.wav"));
  EXPECT_FALSE(std::filesystem::exists(dir / "take.wav"));
}

// Every parameter of every type that names a sound file: Drums' slots,
// LoopPlayer, BubbleBlower, SoundIn and SoundOut.
std::vector<QSCStringProperty*> SoundFileNames(TGardeningContraption& c) {
  std::vector<QSCStringProperty*> names;
  QSPropertyTable& table = *c.Processor().GetPropertyTable();
  for (int i = 0; i < table.Count(); ++i) {
    auto* text = dynamic_cast<QSCStringProperty*>(&table.PropertyAt(i));
    if (text != nullptr && text->NamesSoundFile()) names.push_back(text);
  }
  return names;
}

TEST_F(DocumentTest, ACopySavedInAnotherFolderNamesEverySoundFileSoThatItIsFoundThere) {
  const std::string a = dir / "a/", b = dir / "b/deeper/", listed = dir / "listed/";
  for (const std::string& d : {a + "samples", b, listed}) std::filesystem::create_directories(d);
  test::WriteLevel(a + "samples/kick.wav", 1000, 64);
  test::WriteLevel(listed + "listed.wav", 2000, 64);
  test::WriteLevel(listed + "shadowed.wav", 3000, 64);
  test::WriteLevel(b + "shadowed.wav", 4000, 64);  // would hide the listed one from b
  SoundFilePaths::Instance().SetDirectories({listed});
  KWDocumentController controller(document, queries);
  queries.saveName = a + "song.tgh";
  ASSERT_TRUE(controller.SaveDocumentAs());

  // The names as the user chose them in a, and the files they stand for.
  const std::vector<std::pair<std::string, std::string>> choices{
      {"samples/kick.wav", a + "samples/kick.wav"},
      {"listed.wav", listed + "listed.wav"},
      {"shadowed.wav", listed + "shadowed.wav"},
      {"samples/missing.wav", a + "samples/missing.wav"}};
  std::vector<std::string> expected;
  size_t next = 0;
  for (const char* type : {"Drums", "LoopPlayer", "BubbleBlower", "SoundIn", "SoundOut"}) {
    PatchNode* node = patch.NewContraption(type, 0, 0);
    ASSERT_NE(node, nullptr) << type;
    const auto names = SoundFileNames(*node->contraption);
    ASSERT_FALSE(names.empty()) << type;
    for (QSCStringProperty* name : names) {
      const auto& [chosen, file] = choices[next++ % choices.size()];
      name->SetValue(chosen);
      expected.push_back(file);
    }
    node->contraption->StorePreset(3);
  }
  ASSERT_TRUE(controller.Save());
  const auto onDisk = [](const std::string& file) {
    std::ifstream saved(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
  };
  const std::string inA = onDisk(a + "song.tgh");
  EXPECT_NE(inA.find("\"samples/kick.wav\""), std::string::npos) << inA;
  EXPECT_NE(inA.find("\"samples/missing.wav\""), std::string::npos);
  EXPECT_NE(inA.find("\"shadowed.wav\""), std::string::npos);

  queries.saveName = b + "song.tgh";
  ASSERT_TRUE(controller.SaveDocumentAs());
  ASSERT_TRUE(controller.OpenFile(b + "song.tgh"));
  const std::string inB = onDisk(b + "song.tgh");
  EXPECT_NE(inB.find("\"listed.wav\""), std::string::npos) << "still found where it was";
  EXPECT_NE(inB.find("\"" + a + "samples/kick.wav\""), std::string::npos) << inB;
  EXPECT_EQ(inB.find("\"shadowed.wav\""), std::string::npos) << "b has a file of that name";

  // Reopened in b, every parameter and every preset names what it did in a.
  size_t at = 0;
  for (TGardeningContraption* contraption : factory.Contraptions()) {
    const auto names = SoundFileNames(*contraption);
    for (QSCStringProperty* name : names) {
      ASSERT_LT(at, expected.size());
      EXPECT_EQ(name->Value(), expected[at]) << contraption->Name();
      name->SetValue("");
      contraption->RecallPreset(3);
      EXPECT_EQ(name->Value(), expected[at++]) << contraption->Name() << "'s preset";
    }
  }
  EXPECT_EQ(at, expected.size());
  SoundFilePaths::Instance().SetDirectories({});
}

// Opening says which sound files cannot be played and why, in one message.
TEST_F(DocumentTest, OpeningNamesEverySoundFileThatCannotPlay) {
  std::filesystem::create_directories(dir / "song/folder.wav");
  test::WriteLevel(dir / "song/good.wav", 1000, 64);
  std::ofstream(dir / "song/text.wav") << "no sound in here";
  PatchNode* drums = patch.NewContraption("Drums", 0, 0);
  PatchNode* out = patch.NewContraption("SoundOut", 0, 40);
  ASSERT_TRUE(drums && out);
  auto& kit = static_cast<TGDrums&>(drums->contraption->Processor());
  SetDocumentDirectory(dir / "song/song.tgh");
  const char* names[] = {"good.wav", "gone.wav", "folder.wav", "text.wav", ""};
  for (int i = 0; i < TGDrums::kSlots; ++i) kit.File(i).SetValue(names[i]);
  static_cast<TGSoundOut&>(out->contraption->Processor()).outputFile.SetValue("new-take.wav");
  std::ofstream(dir / "song/song.tgh", std::ios::binary) << Text();
  messages = StreamUserMessages(nullptr);
  KWDocumentController controller(document, queries);
  ASSERT_TRUE(controller.OpenFile(dir / "song/song.tgh"));
  EXPECT_EQ(document.SoundFileProblems(),
            (std::vector<std::string>{"Drums_1: gone.wav: not found",
                                      "Drums_1: folder.wav: it is a folder",
                                      "Drums_1: text.wav: not a sound file"}));
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_NE(messages.Messages()[0].text.find("Drums_1: folder.wav: it is a folder"),
            std::string::npos);
}

// Two wires into one inlet, or a wire from a contraption to itself, are
// refused by the reader as the pane refuses them, and named.
TEST_F(DocumentTest, WiresThePaneWouldRefuseAreRefusedWhenRead) {
  PatchNode* gen = patch.NewContraption("TestGen", 0, 0);
  PatchNode* other = patch.NewContraption("TestGen", 0, 40);
  PatchNode* delay = patch.NewContraption("SDelay", 100, 0);
  ASSERT_TRUE(gen && other && delay);
  ASSERT_NE(patch.Connect(*gen, 0, *delay, 0), nullptr);
  const std::string good = Text();
  std::string text = good;
  text.insert(text.find("end\r\n"),
              "\tTestGen_2\t0\tSDelay_1\t0\r\n\tSDelay_1\t0\tSDelay_1\t1\r\n");
  ASSERT_TRUE(ReadText(text));
  EXPECT_EQ(model.ConnectionCount(), 1);
  EXPECT_EQ(Text(), good);
  ASSERT_EQ(document.ReadProblems().size(), 2u);
  EXPECT_NE(document.ReadProblems()[0].find("TestGen_2 0 to SDelay_1 0"), std::string::npos)
      << document.ReadProblems()[0];
  EXPECT_NE(document.ReadProblems()[1].find("cannot feed itself"), std::string::npos);
}

TEST_F(DocumentTest, NewKeepsTheUsersPaneLayout) {
  model.SetPaneWidth(321);
  model.SetPatcherShown(false);
  document.New();
  EXPECT_EQ(model.PaneWidth(), 321);
  EXPECT_FALSE(model.PatcherShown());
  EXPECT_TRUE(model.PropertiesShown());
}

// A save killed between writing and renaming leaves its temporary file; the
// next save or open of that document clears those of processes now gone.
TEST_F(DocumentTest, TemporariesOfKilledSavesAreRemovedLater) {
  const pid_t child = test::DeadProcess();
  const std::string name = dir / "song.tgh";
  const std::string dead = name + ".saving-" + std::to_string(child);
  const std::string living = name + ".saving-1";  // init never ends
  const std::string other = dir / "other.tgh.saving-" + std::to_string(child);
  for (const auto& f : {dead, living, other}) std::ofstream(f) << "half a document";

  queries.saveName = name;
  KWDocumentController controller(document, queries);
  ASSERT_TRUE(controller.Save());
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_TRUE(std::filesystem::exists(living));
  EXPECT_TRUE(std::filesystem::exists(other));  // another document's

  std::ofstream(dead) << "half a document";
  ASSERT_TRUE(controller.OpenFile(name));
  EXPECT_FALSE(std::filesystem::exists(dead));
}

// An absurd document is refused before the patch is touched, with a message
// that names the limit.
TEST_F(DocumentTest, DocumentsBeyondTheBudgetAreRefused) {
  auto documentOf = [](const std::string& type, int count) {
    std::string text = ".tgh 0.5\r\ncontraptions:\r\n";
    for (int i = 0; i < count; ++i)
      text += "\t" + type + "\t\t{ }\t{ }{ }{ 0 0 F Z Z 0 0 Z Z Z Z  }\t\r\n";
    return text + "end\r\n";
  };
  patch.NewContraption("TestGen", 0, 0);
  KWDocumentController controller(document, queries);

  std::ofstream(dir / "many.tgh", std::ios::binary)
      << documentOf("TestGen", DocumentBudget::kMaxContraptions + 1);
  EXPECT_FALSE(controller.OpenFile(dir / "many.tgh"));
  EXPECT_NE(LastMessage().find("at most 1000 contraptions"), std::string::npos) << LastMessage();
  EXPECT_EQ(model.NodeCount(), 1);

  // Twenty delays need about 15 MB for their lines.
  document.SetMemoryBudget(10 * 1024 * 1024);
  std::ofstream(dir / "delays.tgh", std::ios::binary) << documentOf("SDelay", 20);
  EXPECT_FALSE(controller.OpenFile(dir / "delays.tgh"));
  EXPECT_NE(LastMessage().find("at most 10 MB"), std::string::npos) << LastMessage();
  EXPECT_EQ(model.NodeCount(), 1);

  std::ofstream(dir / "delays.tgh", std::ios::binary) << documentOf("SDelay", 10);
  EXPECT_TRUE(controller.OpenFile(dir / "delays.tgh"));
  EXPECT_EQ(model.NodeCount(), 10);
}

// A long loop counts with its file in the budget, and one longer than ten
// minutes is named in the load report.
TEST_F(DocumentTest, SoundFilesCountInTheBudgetAndACutOneIsReported) {
  // Ten and a half minutes at a thousand frames a second: 106 MB at the
  // program's rate once cut to ten.
  test::WriteLevel(dir / "long.wav", 8192, 630000, 1000);
  std::ofstream(dir / "song.tgh", std::ios::binary)
      << ".tgh 0.5\r\ncontraptions:\r\n\tLoopPlayer\tLoopPlayer_1\t{ \"long.wav\", 1, 1, 0, 0 }\t" +
             EmptyPresets() + "{ }{ 10 10 F Z Z 0 0 Z Z Z Z  }\t\r\nend\r\n";
  KWDocumentController controller(document, queries);
  document.SetMemoryBudget(100 * 1024 * 1024);
  EXPECT_FALSE(controller.OpenFile(dir / "song.tgh"));
  EXPECT_NE(LastMessage().find("about 101 MB"), std::string::npos) << LastMessage();
  document.SetMemoryBudget(200 * 1024 * 1024);
  ASSERT_TRUE(controller.OpenFile(dir / "song.tgh"));
  ASSERT_EQ(document.ReadProblems().size(), 1u);
  EXPECT_EQ(document.ReadProblems()[0],
            "LoopPlayer_1: File: \"long.wav\" lasts 10:30; only its first 10:00 play");
}

// Lines the scan might read differently from the reader (a second tab before
// the type) are counted all the same, and the reader itself stops at the limit.
TEST_F(DocumentTest, TheBudgetHoldsHoweverTheLinesAreWritten) {
  std::string text = ".tgh 0.5\r\ncontraptions:\r\n";
  for (int i = 0; i < DocumentBudget::kMaxContraptions + 5; ++i)
    text += "\t\t TestGen\t\t{ }\t{ }{ }{ 0 0 F Z Z 0 0 Z Z Z Z  }\t\r\n";
  text += "end\r\n";
  std::ofstream(dir / "sneaky.tgh", std::ios::binary) << text;
  KWDocumentController controller(document, queries);
  EXPECT_FALSE(controller.OpenFile(dir / "sneaky.tgh"));
  EXPECT_NE(LastMessage().find("at most 1000 contraptions"), std::string::npos) << LastMessage();

  EXPECT_TRUE(ReadText(text));  // straight to the reader, past the scan
  EXPECT_EQ(model.NodeCount(), DocumentBudget::kMaxContraptions);
  ASSERT_FALSE(document.ReadProblems().empty());
  EXPECT_NE(document.ReadProblems().back().find("beyond the first 1000"), std::string::npos);
}

// Values written however the reader still takes them (padded far out, or on
// the line after the name) count with the sound file they name, as read.
TEST_F(DocumentTest, TheBudgetCountsTheSoundFileTheReaderTook) {
  test::WriteLevel(dir / "long.wav", 8192, 630000, 1000);
  KWDocumentController controller(document, queries);
  document.SetMemoryBudget(10 * 1024 * 1024);
  for (const std::string& gap : {"{" + std::string(9000, ' '), std::string("\r\n{ ")}) {
    std::ofstream(dir / "padded.tgh", std::ios::binary)
        << ".tgh 0.5\r\ncontraptions:\r\n\tLoopPlayer\tLoopPlayer_1\t" + gap +
               "\"long.wav\", 1, 1, 0, 0 }\t" + EmptyPresets() +
               "{ }{ 10 10 F Z Z 0 0 Z Z Z Z  }\t\r\nend\r\n";
    controller.OpenFile(dir / "padded.tgh");
    EXPECT_NE(LastMessage().find("at most 10 MB"), std::string::npos) << LastMessage();
    EXPECT_EQ(model.NodeCount(), 0);
  }
}

// A name a document gives twice is given once: the second contraption gets a
// fresh name and the reader says so; a name another type took is never
// handed out again automatically.
TEST_F(DocumentTest, ANameIsNeverGivenTwice) {
  const std::string item = "\t{ }\t{ }{ }{ 0 0 F Z Z 0 0 Z Z Z Z  }\t\r\n";
  ASSERT_TRUE(ReadText(".tgh 0.5\r\ncontraptions:\r\n\tTestGen\tRingAM_1" + item +
                       "\tRingAM\tRingAM_1" + item + "end\r\n"));
  ASSERT_EQ(model.NodeCount(), 2);
  EXPECT_EQ(model.NodeAt(0).caption, "RingAM_1");
  EXPECT_EQ(model.NodeAt(1).caption, "RingAM_2");
  ASSERT_EQ(document.ReadProblems().size(), 1u);
  EXPECT_EQ(document.ReadProblems()[0],
            "the name RingAM_1 a second time (that RingAM is RingAM_2)");

  ASSERT_TRUE(ReadText(".tgh 0.5\r\ncontraptions:\r\n\tTestGen\tRingAM_1" + item + "end\r\n"));
  EXPECT_EQ(patch.NewContraption("RingAM", 0, 0)->caption, "RingAM_2");
}

// A document that cannot be opened says why; a second SoundOut is named as
// such, not as an unknown type.
TEST_F(DocumentTest, OpenFailuresAndASecondSoundOutSayWhy) {
  const std::string missing = dir / "missing.tgh";
  EXPECT_FALSE(document.Open(missing));
  EXPECT_EQ(LastMessage(),
            "An error occurred while opening the document.\n" + missing + ": not found.");

  const std::string item = "\t{ }\t{ }{ }{ 0 0 F Z Z 0 0 Z Z Z Z  }\t\r\n";
  ASSERT_TRUE(ReadText(".tgh 0.5\r\ncontraptions:\r\n\tSoundOut\tSoundOut" + item +
                       "\tSoundOut\tSoundOut" + item + "end\r\n"));
  EXPECT_EQ(model.NodeCount(), 1);
  ASSERT_EQ(document.ReadProblems().size(), 1u);
  EXPECT_EQ(document.ReadProblems()[0], "a second SoundOut, which a patch cannot have");
}

// Places far outside any screen are held to a bound, so moving them on
// cannot overflow.
TEST_F(DocumentTest, PlacesFromDocumentsAndPastesAreBounded) {
  const std::string item =
      "TestGen\tTestGen_1\t{ }\t{ }{ }{ 2147483647 -2147483648 F Z Z 2147483647 -2147483648 Z Z "
      "Z Z  }\t\r\n";
  ASSERT_TRUE(ReadText(".tgh 0.5\r\ncontraptions:\r\n\t" + item + "end\r\n"));
  ASSERT_EQ(model.NodeCount(), 1);
  EXPECT_EQ(model.NodeAt(0).x, 100000);
  EXPECT_EQ(model.NodeAt(0).y, -100000);
  const TContraptionFormState& state = model.NodeAt(0).contraption->WindowState();
  EXPECT_EQ(state.windowTop, 100000);
  EXPECT_EQ(state.windowLeft, -100000);

  const PatchFragment::Pasted pasted = PatchFragment::Paste(
      patch, ".tgh 0.5\r\ncontraptions:\r\n\t" + item + "connections:\r\nend\r\n", {false, 20, -20},
      "Paste");
  ASSERT_EQ(pasted.nodes.size(), 1u) << pasted.message;
  EXPECT_EQ(pasted.nodes[0]->x, 100000);
  EXPECT_EQ(pasted.nodes[0]->y, -100000);
}

// A document reached through a link is saved where the link points; a Save As
// that fails leaves sound files resolving where they did.
TEST_F(DocumentTest, SavingThroughALinkAndAFailedSaveAs) {
  KWDocumentController controller(document, queries);
  std::filesystem::create_directory(dir / "real");
  queries.saveName = dir / "real/song.tgh";
  patch.NewContraption("TestGen", 0, 0);
  ASSERT_TRUE(controller.SaveDocumentAs());
  std::filesystem::create_symlink(dir / "real/song.tgh", dir / "link.tgh");
  ASSERT_TRUE(controller.OpenFile(dir / "link.tgh"));
  patch.NewContraption("SDelay", 0, 0);
  ASSERT_TRUE(controller.Save());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.tgh"));
  EXPECT_NE(Text().find("SDelay"), std::string::npos);
  std::ifstream saved(dir / "real/song.tgh", std::ios::binary);
  const std::string onDisk((std::istreambuf_iterator<char>(saved)),
                           std::istreambuf_iterator<char>());
  EXPECT_NE(onDisk.find("SDelay"), std::string::npos);

  const std::string before = SoundFilePaths::Instance().DocumentDirectory();
  queries.saveName = dir / "no/such/folder/song.tgh";
  EXPECT_FALSE(controller.SaveDocumentAs());
  EXPECT_EQ(SoundFilePaths::Instance().DocumentDirectory(), before);
}

}  // namespace document_test
}  // namespace tg
