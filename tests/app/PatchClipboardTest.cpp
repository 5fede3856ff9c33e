// Cut, copy, paste and duplicate of contraptions through the clipboard, and
// the quick-add field, driven from the main window's patcher pane.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QStatusBar>
#include <QTest>
#include <sstream>

#include "app/patcher/KWPatcherPanel.h"
#include "app/patcher/KWQuickAddPopup.h"
#include "app/patcher/PatcherCommands.h"
#include "contraptions/effects/ringam/TGRingAM.h"
#include "contraptions/generators/loopplayer/TGLoopPlayer.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/TContraptionForm.h"
#include "framework/TGardeningContraption.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/ContraptionSnapshot.h"
#include "shell/patch/PatchEditor.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSoundFiles.h"

namespace tg {
namespace patch_clipboard_test {

class PatchClipboardTest : public test::MainWindowFixture {
 protected:
  PatchNode& New(const std::string& type, QPoint at) {
    PatchNode* node = Form().NewContraption(type, at);
    EXPECT_NE(node, nullptr) << type;
    return *node;
  }
  void Wire(PatchNode& from, PatchNode& to, int inlet = 0) {
    ASSERT_NE(Form().Patch().Connect(from, 0, to, inlet), nullptr);
  }
  void Select(std::initializer_list<PatchNode*> nodes) {
    Form().Model().ClearSelection();
    for (PatchNode* n : nodes) n->selected = true;
  }
  KWPatcherPanel* Pane() { return Form().PatcherPanel(); }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
    Pane()->setFocus();
    QTest::keyClick(Pane(), static_cast<Qt::Key>(key), modifiers);
  }
  std::string Text() {
    std::ostringstream out;
    Form().Document().WriteTo(out);
    return out.str();
  }
  bool Wired(const std::string& from, const std::string& to) {
    const PatchModel& model = Form().Model();
    for (int i = 0; i < model.ConnectionCount(); ++i) {
      const PatchConnection& c = model.ConnectionAt(i);
      if (c.source->caption == from && c.destination->caption == to) return true;
    }
    return false;
  }
  std::vector<std::string> SelectedNames() {
    std::vector<std::string> names;
    for (int i = 0; i < Form().Model().NodeCount(); ++i) {
      if (Form().Model().NodeAt(i).selected) names.push_back(Form().Model().NodeAt(i).caption);
    }
    return names;
  }
  // What a copy must carry: every value and preset (the window's place aside).
  static std::pair<std::vector<std::string>, std::vector<std::string>> Settings(PatchNode* node) {
    const ContraptionSnapshot s = ContraptionSnapshot::Of(*node->contraption);
    return {s.parameters, s.presets};
  }
  std::string Status() { return Form().statusBar()->currentMessage().toStdString(); }
  std::string PlainClipboard() { return QGuiApplication::clipboard()->text().toStdString(); }
};

TEST_F(PatchClipboardTest, CopyAndPasteMakeNumberedCopiesWithTheirWiresAsOneCommand) {
  Form().show();
  PatchNode& gen = New("TestGen", {20, 20});
  PatchNode& ring = New("RingAM", {20, 90});
  PatchNode& delay = New("SDelay", {150, 90});
  Wire(gen, ring);
  Wire(ring, delay);
  auto& ringAm = static_cast<TGRingAM&>(ring.contraption->Processor());
  ringAm.frequency.SetValue(1234.5);
  ring.contraption->StorePreset(2);
  ringAm.frequency.SetValue(777.0);
  ring.contraption->MarkChanged();
  Select({&gen, &ring});
  Key(Qt::Key_C);

  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  ASSERT_TRUE(data->hasFormat(PatcherCommands::kMimeType));
  EXPECT_EQ(data->text().toStdString(), data->data(PatcherCommands::kMimeType).toStdString());
  EXPECT_EQ(Status(), "Copied 2 contraptions");
  const std::string before = Text();

  Form().PaneCommands().Paste(QPoint(300, 200));
  EXPECT_EQ(Form().Model().NodeCount(), 5);
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"TestGen_2", "RingAM_2"}));
  PatchNode* gen2 = Node("TestGen_2");
  PatchNode* ring2 = Node("RingAM_2");
  ASSERT_TRUE(gen2 != nullptr && ring2 != nullptr);
  EXPECT_EQ(QPoint(gen2->x, gen2->y), QPoint(300, 200));  // the group's corner at the point
  EXPECT_EQ(QPoint(ring2->x, ring2->y), QPoint(300, 270));
  EXPECT_EQ(Settings(ring2), Settings(&ring));
  EXPECT_TRUE(Wired("TestGen_2", "RingAM_2"));
  EXPECT_FALSE(Wired("RingAM_2", "SDelay_1"));
  EXPECT_EQ(Form().Model().ConnectionCount(), 3);
  EXPECT_EQ(Form().Patch().UndoName(), "Paste 2 Contraptions");
  const std::string after = Text();

  Form().Undo();
  EXPECT_EQ(Text(), before);
  Form().Redo();
  EXPECT_EQ(Text(), after);

  // From the keys, with the mouse away from the pane: beside the originals,
  // fanning out with each paste of the same text.
  QCursor::setPos(Form().mapToGlobal(QPoint(-500, -500)));
  Key(Qt::Key_V);
  Key(Qt::Key_V);
  EXPECT_EQ(QPoint(Node("TestGen_3")->x, Node("TestGen_3")->y), QPoint(40, 40));
  EXPECT_EQ(QPoint(Node("TestGen_4")->x, Node("TestGen_4")->y), QPoint(60, 60));
}

TEST_F(PatchClipboardTest, PastedIntoADocumentInAnotherFolderItsSoundFileStillLoads) {
  test::TempDir first, second;
  test::WriteWave(first / "loop.wav", 44100, 1, std::vector<int16_t>(4410, 3000));
  Form().show();
  PatchNode& player = New("LoopPlayer", {20, 20});
  static_cast<TGLoopPlayer&>(player.contraption->Processor()).file.SetValue(first / "loop.wav");
  queries.saveName = first / "first.tgh";
  Form().FileSaveAs();
  Form().Reopen(first / "first.tgh");
  Select({Node("LoopPlayer_1")});
  Key(Qt::Key_C);
  EXPECT_NE(PlainClipboard().find(first / "loop.wav"), std::string::npos);  // the full name

  Form().FileNew();
  Form().PaneCommands().Paste(QPoint(50, 50));
  ASSERT_NE(Node("LoopPlayer_1"), nullptr);
  queries.saveName = second / "second.tgh";
  Form().FileSaveAs();
  Form().Reopen(second / "second.tgh");
  EXPECT_TRUE(Form().Document().SoundFileProblems().empty());
  const auto& loop =
      static_cast<const TGLoopPlayer&>(Node("LoopPlayer_1")->contraption->Processor());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !loop.Loading(); }, 30000));
  EXPECT_FALSE(loop.LoadFailed());
  EXPECT_EQ(loop.file.Value(), first / "loop.wav");
}

TEST_F(PatchClipboardTest, TextFromATextEditorPastesBackAndADuplicateKeepsOnlyItsOwnWires) {
  Form().show();
  PatchNode& gen = New("TestGen", {20, 20});
  PatchNode& ring = New("RingAM", {20, 90});
  PatchNode& delay = New("SDelay", {20, 160});
  PatchNode& other = New("TestGen", {150, 20});
  Wire(gen, ring);
  Wire(ring, delay);
  Wire(other, delay, 1);
  static_cast<TGRingAM&>(ring.contraption->Processor()).frequency.SetValue(321.0);
  Select({&ring, &delay});

  // Through plain text, as an editor keeps it: line feeds and spaces for tabs.
  Key(Qt::Key_C);
  std::string edited;
  for (char c : PlainClipboard()) {
    if (c == '\t') edited += "    ";
    if (c != '\t' && c != '\r') edited += c;
  }
  QGuiApplication::clipboard()->setText(QString::fromStdString(edited));
  EXPECT_TRUE(Form().PaneCommands().CanPaste());
  Form().PaneCommands().Paste(QPoint(300, 300));
  ASSERT_NE(Node("RingAM_2"), nullptr);
  EXPECT_EQ(Settings(Node("RingAM_2")), Settings(Node("RingAM_1")));
  EXPECT_TRUE(Wired("RingAM_2", "SDelay_2"));

  Select({Node("RingAM_1"), Node("SDelay_1")});
  Key(Qt::Key_D);
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"RingAM_3", "SDelay_3"}));
  EXPECT_EQ(QPoint(Node("SDelay_3")->x, Node("SDelay_3")->y),
            QPoint(Node("SDelay_1")->x, Node("SDelay_1")->y) + QPoint(20, 20));
  EXPECT_TRUE(Wired("RingAM_3", "SDelay_3"));
  for (const char* outside : {"TestGen_1", "TestGen_2"}) {
    EXPECT_FALSE(Wired(outside, "RingAM_3"));
    EXPECT_FALSE(Wired(outside, "SDelay_3"));
  }
  EXPECT_EQ(Form().Model().ConnectionCount(), 5);
  EXPECT_EQ(Form().Patch().UndoName(), "Duplicate 2 Contraptions");
}

TEST_F(PatchClipboardTest, QuickAddPlacesTheChosenTypeByKeyboardAndWiresADroppedWire) {
  Form().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  KWQuickAddPopup& popup = Form().PaneCommands().QuickAdd();
  QCursor::setPos(Pane()->viewport()->mapToGlobal(QPoint(60, 40)));
  const QPoint place = QPoint(60, 40) + Pane()->ScrollOffset();
  Key(Qt::Key_Tab, Qt::NoModifier);
  ASSERT_TRUE(popup.isVisible());
  QTest::keyClicks(popup.Field(), "mixer");
  // Every size of every mixer family is offered.
  EXPECT_FALSE(popup.List()->findItems("S4Mixer", Qt::MatchStartsWith).isEmpty());
  EXPECT_FALSE(popup.List()->findItems("P8Mixer", Qt::MatchStartsWith).isEmpty());
  QTest::keyClick(popup.Field(), Qt::Key_Down);
  const std::string chosen = popup.CurrentType().toStdString();
  QTest::keyClick(popup.Field(), Qt::Key_Return);
  EXPECT_FALSE(popup.isVisible());
  PatchNode* mixer = Node(chosen + "_1");
  ASSERT_NE(mixer, nullptr) << chosen;
  EXPECT_EQ(QPoint(mixer->x, mixer->y), place);

  // A wire from an outlet dropped on an empty place.
  PatchNode& gen = New("TestGen", {20, 100});
  const size_t commands = Form().Patch().History().Size();
  const QPoint outlet = Pane()->OutletPoint(gen, 0) - Pane()->ScrollOffset() + QPoint(0, -2);
  const QPoint drop = outlet + QPoint(100, 20);
  test::Drag(Pane()->viewport(), outlet, drop);
  ASSERT_TRUE(popup.isVisible());
  QTest::keyClicks(popup.Field(), "ringam");
  QTest::keyClick(popup.Field(), Qt::Key_Enter);
  ASSERT_NE(Node("RingAM_1"), nullptr);
  EXPECT_TRUE(Wired("TestGen_1", "RingAM_1"));
  EXPECT_EQ(Form().Patch().History().Size(), commands + 1);
  Form().Undo();
  EXPECT_EQ(Node("RingAM_1"), nullptr);

  // Escape closes it with nothing placed; a double click opens it too.
  QTest::mouseDClick(Pane()->viewport(), Qt::LeftButton, {}, QPoint(160, 15));
  ASSERT_TRUE(popup.isVisible());
  const int nodes = Form().Model().NodeCount();
  QTest::keyClick(popup.Field(), Qt::Key_Escape);
  EXPECT_FALSE(popup.isVisible());
  EXPECT_EQ(Form().Model().NodeCount(), nodes);
}

TEST_F(PatchClipboardTest, BadClipboardTextPastesNothingAndSaysWhy) {
  Form().show();
  PatchNode& out = New("SoundOut", {20, 20});
  PatchNode& ring = New("RingAM", {20, 90});
  Wire(ring, out);
  Select({&out, &ring});
  Key(Qt::Key_C);
  const std::string good = PlainClipboard();
  const std::string text = Text();
  const size_t commands = Form().Patch().History().Size();

  std::string badValues = good;
  badValues.replace(badValues.find("{ 440"), 5, "{ x4?");
  for (const std::string& bad :
       {std::string("hello"), std::string(), good.substr(0, good.size() / 2),
        good.substr(0, good.find("end")),
        std::string(".tgh 0.5\ncontraptions:\n\tNoSuchType\tX_1\nend\n"), badValues,
        std::string(".tgh 0.5\nconnections:\n\tA\tzero\tB\t0\nend\n")}) {
    QGuiApplication::clipboard()->setText(QString::fromStdString(bad));
    Form().PaneCommands().Paste(QPoint(200, 200));
    EXPECT_EQ(Text(), text) << bad;
    EXPECT_EQ(Form().Patch().History().Size(), commands) << bad;
    EXPECT_NE(Status().find("paste"), std::string::npos) << bad << " said " << Status();
  }

  // The patch has its SoundOut: the rest is pasted, and the bar says so.
  QGuiApplication::clipboard()->setText(QString::fromStdString(good));
  Form().PaneCommands().Paste(QPoint(200, 200));
  EXPECT_NE(Node("RingAM_2"), nullptr);
  EXPECT_EQ(Form().Model().NodeCount(), 3);
  EXPECT_NE(Status().find("SoundOut was left out"), std::string::npos) << Status();
}

TEST_F(PatchClipboardTest, InAnEditorWindowTheKeysCopyAndPasteItsPreset) {
  Form().show();
  Form().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Form()));
  PatchNode& a = New("RingAM", {20, 20});
  PatchNode& b = New("RingAM", {20, 90});
  a.contraption->ShowWindow();
  b.contraption->ShowWindow();
  a.contraption->StorePreset(3);
  TContraptionForm* first = Form().WindowHost().WindowOf(*a.contraption);
  TContraptionForm* second = Form().WindowHost().WindowOf(*b.contraption);
  ASSERT_TRUE(first != nullptr && second != nullptr);
  QTest::keyClick(first, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(PlainClipboard(), "preset: RingAM { 440, 0 }");
  for (QWidget* control : second->findChildren<QWidget*>()) {
    if (control->focusPolicy() == Qt::NoFocus) continue;
    control->setFocus();
    break;
  }
  ASSERT_TRUE(second->isAncestorOf(QApplication::focusWidget()));
  Form().EditCommand("Paste");  // the Edit menu, with the focus in the window
  EXPECT_TRUE(b.contraption->HasPreset(0));
  EXPECT_EQ(Form().Patch().UndoName(), "Paste Preset 1");
}

}  // namespace patch_clipboard_test
}  // namespace tg
