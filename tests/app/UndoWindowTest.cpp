// Undo and redo from the main window, and the crash copies it keeps and
// offers back.
#include <unistd.h>

#include <QAction>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <sstream>

#include "app/patcher/KWPatcherPanel.h"
#include "contraptions/generators/testgen/TTestGenForm.h"
#include "controls/KWDWKnob.h"
#include "controls/KWNumberEdit.h"
#include "forms/ContraptionWindowHost.h"
#include "forms/TContraptionForm.h"
#include "forms/TPatternedScrollBox.h"
#include "forms/TPresetMenuForm.h"
#include "framework/TContraptionFactory.h"
#include "framework/TContraptionMaker.h"
#include "framework/TGardeningContraption.h"
#include "properties/QSPropertyTable.h"
#include "shell/document/Autosaver.h"
#include "shell/document/RecoveryFiles.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/DeadProcess.h"
#include "tests/support/TempDir.h"

namespace tg {
namespace undo_window_test {

class UndoWindowTest : public test::MainWindowFixture {
 protected:
  PatchNode* New(const std::string& type, QPoint at) {
    Form().NewContraption(type, at);
    return &Form().Model().NodeAt(Form().Model().NodeCount() - 1);
  }
  void Tempo(double bpm) {
    Form().TempoEdit()->SetValue(bpm);
    emit Form().TempoEdit()->OnChange(bpm);
  }
  bool Modified() {
    Form().PrepareFileMenu();
    return Form().Action("Save")->isEnabled();
  }
  std::string Text() {
    std::ostringstream out;
    Form().Document().WriteTo(out);
    return out.str();
  }
  // The editor windows in the properties pane.
  qsizetype Windows() {
    return Form()
        .PropertiesPane()
        ->widget()
        ->findChildren<TContraptionForm*>(Qt::FindDirectChildrenOnly)
        .size();
  }
  void DeleteSelection() { QTest::keyClick(Form().PatcherPanel(), Qt::Key_Delete); }
  test::TempDir dir;
};

TEST_F(UndoWindowTest, TheMenuNamesWhatItUndoesAndUndoingToTheSaveIsUnmodified) {
  Form().show();
  QAction* undo = Form().Action("Undo");
  QAction* redo = Form().Action("Redo");
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_FALSE(Form().UndoButton()->isEnabled());
  EXPECT_EQ(undo->shortcut(), QKeySequence(QKeySequence::Undo));
  EXPECT_TRUE(redo->shortcuts().contains(QKeySequence("Ctrl+Y")));
  EXPECT_TRUE(redo->shortcuts().contains(QKeySequence("Ctrl+Shift+Z")));

  PatchNode* gen = New("TestGen", {30, 20});
  const std::string name = gen->contraption->Name();
  gen->contraption->ShowWindow();
  queries.saveName = dir / "song.tgh";
  Form().FileSaveAs();
  const std::string saved = Text();
  EXPECT_FALSE(Modified());

  auto* window = static_cast<TTestGenForm*>(Form().WindowHost().WindowOf(*gen->contraption));
  ASSERT_NE(window, nullptr);
  emit window->VolumeKnob()->OnChange(0.5);
  emit window->VolumeKnob()->OnChange(0.6);  // the same drag
  EXPECT_EQ(undo->text(), "&Undo Change 'Amplitude'");
  EXPECT_TRUE(Form().UndoButton()->isEnabled());
  KWPatcherPanel* pane = Form().PatcherPanel();
  const QPoint c = pane->NodeRect(*gen).center() - pane->ScrollOffset();
  test::Drag(pane->viewport(), c, c + QPoint(40, 16));
  EXPECT_EQ(undo->text(), "&Undo Move " + QString::fromStdString(name));
  EXPECT_TRUE(Modified());

  undo->trigger();
  undo->trigger();
  EXPECT_EQ(Text(), saved);
  EXPECT_FALSE(Modified()) << "back where it was saved";
  EXPECT_NEAR(window->VolumeKnob()->Value(),
              gen->contraption->Processor()
                  .GetPropertyTable()
                  ->PropertyByName("Amplitude")
                  .NumericValue()
                  .value_or(-1),
              1e-9)
      << "the open window shows the value undone";
  EXPECT_EQ(redo->text(), "&Redo Change 'Amplitude'");
  redo->trigger();
  EXPECT_TRUE(Modified());

  Tempo(100);
  Form().UndoButton()->click();
  EXPECT_EQ(Form().TempoEdit()->Value(), 120.0);

  Form().FileNew();
  EXPECT_FALSE(undo->isEnabled()) << "another document, another history";
}

TEST_F(UndoWindowTest, ACrashCopyIsOfferedAtTheStartAndACleanCloseLeavesNone) {
  options.recoveryDirectory = dir / "recovery";
  // A crashed program's copy of "song.tgh", two contraptions further on.
  New("TestGen", {30, 20});
  New("SDelay", {30, 120});
  const std::string unsaved = Text();
  form.reset();
  RecoveryFiles(dir / "recovery", test::DeadProcess()).Write(dir / "song.tgh", unsaved);

  queries.restore = true;
  Form().Start();
  ASSERT_EQ(queries.restoreQuestions.size(), 1u);
  EXPECT_EQ(Form().Model().NodeCount(), 2);
  EXPECT_EQ(Form().Document().FileName(), dir / "song.tgh");
  EXPECT_TRUE(Modified());
  EXPECT_FALSE(std::filesystem::exists(dir / "song.tgh"));

  // Fifty edits are kept without waiting for the half minute.
  for (int i = 0; i < 50; ++i) Tempo(60 + i);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Form().AutoSaver()->HasCopy(); }, 20000));
  const std::string copy = Form().Recovery()->OwnCopy();
  EXPECT_TRUE(copy.starts_with(dir / "recovery/song-")) << copy;
  EXPECT_TRUE(std::filesystem::exists(copy));
  queries.saveChanges = false;
  EXPECT_TRUE(Form().close());
  EXPECT_FALSE(std::filesystem::exists(copy)) << "a clean close leaves no copy";
}

// Undoing the deletion of a contraption whose window was open brings back
// that one window, open on screen and in the document, for every type; the
// program then deletes, closes and quits without touching what is gone.
TEST_F(UndoWindowTest, UndoingADeletionBringsBackItsOneOpenWindow) {
  Form().show();
  QAction* undo = Form().Action("Undo");
  TContraptionFactory& factory = engine->Factory();
  for (int t = 0; t < factory.MakerCount(); ++t) {
    const std::string type = factory.MakerAt(t)->TypeName();
    if (!Form().WindowHost().HasWindow(type)) continue;
    PatchNode* node = New(type, {30, 20});
    node->contraption->ShowWindow();
    const std::string name = node->contraption->Name();
    const std::string before = Text();
    ASSERT_EQ(Windows(), 1) << type;

    DeleteSelection();
    EXPECT_TRUE(undo->isEnabled()) << type;
    EXPECT_EQ(undo->text().toStdString(), "&Undo Delete " + name);
    EXPECT_TRUE(Form().UndoButton()->isEnabled());
    EXPECT_EQ(Windows(), 0) << type;
    undo->trigger();
    EXPECT_EQ(Text(), before) << type;
    node = Form().Patch().FindNode(name);
    ASSERT_NE(node, nullptr) << type;
    TContraptionForm* window = Form().WindowHost().WindowOf(*node->contraption);
    ASSERT_NE(window, nullptr) << type;
    EXPECT_TRUE(window->isVisible()) << type;
    EXPECT_TRUE(node->contraption->WindowState().windowOpen) << type;
    EXPECT_EQ(Windows(), 1) << type;

    // Once more, then the window closed by hand and the deletion undone again.
    DeleteSelection();
    EXPECT_EQ(Windows(), 0) << type;
    undo->trigger();
    node = Form().Patch().FindNode(name);
    ASSERT_NE(node, nullptr) << type;
    Form().WindowHost().WindowOf(*node->contraption)->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Windows(), 0) << type;
    EXPECT_FALSE(node->contraption->WindowState().windowOpen) << type;
    DeleteSelection();
  }
  PatchNode* last = New("Bassline", {30, 20});
  last->contraption->ShowWindow();
  DeleteSelection();
  undo->trigger();
  form.reset();  // quitting closes the window before its contraption goes
}

// A document just opened has nothing to undo: its first deletion can be
// undone at once, from the menu and the toolbar.
TEST_F(UndoWindowTest, TheFirstDeletionAfterOpeningCanBeUndoneAtOnce) {
  Form().show();
  const std::string name = New("SDelay", {30, 20})->contraption->Name();
  queries.saveName = dir / "song.tgh";
  Form().FileSaveAs();
  Form().Reopen(dir / "song.tgh");
  QAction* undo = Form().Action("Undo");
  ASSERT_FALSE(undo->isEnabled());
  KWPatcherPanel* pane = Form().PatcherPanel();
  const QPoint c = pane->NodeRect(*Node(name)).center() - pane->ScrollOffset();
  QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, c);
  DeleteSelection();
  ASSERT_EQ(Form().Model().NodeCount(), 0);
  EXPECT_TRUE(undo->isEnabled());
  EXPECT_TRUE(Form().UndoButton()->isEnabled());
  EXPECT_EQ(undo->text().toStdString(), "&Undo Delete " + name);
  undo->trigger();
  EXPECT_NE(Node(name), nullptr);
}

// A knob turned from the keyboard leaves preset 3; undo comes back to it and
// redo leaves it again, the caption saying so each time.
TEST_F(UndoWindowTest, UndoAndRedoOfAKeyboardEditShowTheirOwnPreset) {
  Form().show();
  PatchNode* gen = New("TestGen", {30, 20});
  gen->contraption->ShowWindow();
  auto* window = static_cast<TTestGenForm*>(Form().WindowHost().WindowOf(*gen->contraption));
  ASSERT_NE(window, nullptr);
  TPresetMenuForm::Apply({TPresetMenuForm::kStore, 2}, *gen->contraption);
  window->UpdateControls();
  ASSERT_EQ(window->PresetCaption(), "3");
  QTest::keyClick(window->VolumeKnob(), Qt::Key_Up);
  ASSERT_EQ(Form().Action("Undo")->text(), "&Undo Change 'Amplitude'");
  EXPECT_EQ(window->PresetCaption(), "--");
  Form().Action("Undo")->trigger();
  EXPECT_EQ(window->PresetCaption(), "3");
  Form().Action("Redo")->trigger();
  EXPECT_EQ(window->PresetCaption(), "--") << "the value is no longer preset 3's";
}

}  // namespace undo_window_test
}  // namespace tg
