#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "host/StreamUserMessages.h"
#include "properties/QSPropertyTable.h"
#include "shell/RegisterContraptions.h"
#include "shell/document/TGDocument.h"
#include "shell/patch/PatchEditor.h"
#include "tests/support/DocumentFixture.h"

namespace tg {
namespace edit_history_test {

class EditHistoryTest : public test::DocumentFixture {
 protected:
  EditHistoryTest() {
    // Time moves on 10 s per look unless a test holds it: no edits merge.
    patch.History().SetClock([this] { return now += step; });
  }
  // What a knob drag step does: the value, then the edit is heard.
  static void TurnKnob(TGardeningContraption& c, int parameter, double value) {
    c.Processor().GetPropertyTable()->PropertyAt(parameter).SetNumericValue(value);
    c.MarkChanged();
  }
  static int ParameterIndex(TGardeningContraption& c, std::string_view name) {
    return c.Processor().GetPropertyTable()->IndexOf(name);
  }

  std::chrono::steady_clock::time_point now{};
  std::chrono::milliseconds step{10000};
};

// One random user edit of the patch; false when it found nothing to do.
bool RandomEdit(PatchEditor& patch, PatchModel& model, std::mt19937& random) {
  static const char* kTypes[] = {"TestGen",     "SDelay",    "S2Mixer",  "Flanger",
                                 "NastyReverb", "4x4Matrix", "Bassline", "RingAM"};
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const int count = model.NodeCount();
  switch (pick(9)) {
    case 0:
      return patch.NewContraption(kTypes[pick(8)], pick(600), pick(400)) != nullptr;
    case 1: {  // a wire
      if (count < 2) return false;
      PatchNode& a = model.NodeAt(pick(count));
      PatchNode& b = model.NodeAt(pick(count));
      if (a.outletCount == 0 || b.inletCount == 0) return false;
      return patch.Connect(a, pick(a.outletCount), b, pick(b.inletCount)) != nullptr;
    }
    case 2:
      if (count == 0) return false;
      patch.Delete(model.NodeAt(pick(count)));
      return true;
    case 3: {  // several things at once
      model.ClearSelection();
      for (int i = 0; i < count; ++i) model.NodeAt(i).selected = pick(3) == 0;
      for (int i = 0; i < model.ConnectionCount(); ++i) model.ConnectionAt(i).selected = pick(2);
      model.DeleteSelection();
      return true;
    }
    case 4: {
      if (count == 0) return false;
      PatchNode& n = model.NodeAt(pick(count));
      PatchEditor::NodeMove m{&n, n.x, n.y, n.x + pick(50), n.y + pick(50)};
      n.x = m.toX;
      n.y = m.toY;
      patch.MoveNodes({m});
      return true;
    }
    case 5:
    case 6: {  // a knob
      if (count == 0) return false;
      TGardeningContraption& c = *model.NodeAt(pick(count)).contraption;
      QSPropertyTable& table = *c.Processor().GetPropertyTable();
      const int i = pick(table.Count());
      const QSPropertyInfo& info = table.InfoAt(i);
      if (!info.HasRange() || !table.PropertyAt(i).NumericValue()) return false;
      std::uniform_real_distribution<double> value(info.minimum, info.maximum);
      table.PropertyAt(i).SetNumericValue(value(random));
      c.MarkChanged();
      return true;
    }
    case 7: {  // a preset operation
      if (count == 0) return false;
      TGardeningContraption& c = *model.NodeAt(pick(count)).contraption;
      const int slot = pick(4);
      switch (pick(3)) {
        case 0:
          c.StorePreset(slot);
          break;
        case 1:
          c.RecallPreset(slot);
          break;
        default:
          c.ClearPreset(slot);
          break;
      }
      return true;
    }
    default:
      patch.SetTempo(60.0 + pick(120));
      return true;
  }
}

TEST_F(EditHistoryTest, UndoingEveryRandomEditGivesBackEachEarlierTextAndRedoTheLater) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    document.New();
    std::mt19937 random(seed);
    std::vector<std::string> texts{Text()};
    for (int i = 0; i < 80; ++i) {
      const size_t commands = patch.History().Size();
      const std::string before = Text();
      if (!RandomEdit(patch, model, random)) continue;
      if (patch.History().Size() == commands) {
        ASSERT_EQ(Text(), before) << "an edit changed the patch and left no command";
        continue;
      }
      ASSERT_EQ(patch.History().Size(), commands + 1) << "one command per edit";
      texts.push_back(Text());
    }
    ASSERT_GT(texts.size(), 15u);
    for (size_t i = texts.size() - 1; i > 0; --i) {
      ASSERT_TRUE(patch.CanUndo());
      patch.Undo();
      ASSERT_EQ(Text(), texts[i - 1]) << "after undoing edit " << i;
    }
    EXPECT_FALSE(patch.CanUndo());
    for (size_t i = 1; i < texts.size(); ++i) {
      patch.Redo();
      ASSERT_EQ(Text(), texts[i]) << "after redoing edit " << i;
    }
    EXPECT_FALSE(patch.CanRedo());
  }
}

TEST_F(EditHistoryTest, OneKnobDragIsOneCommandNamedAfterItsParameter) {
  PatchNode* delay = patch.NewContraption("SDelay", 10, 10);
  ASSERT_NE(delay, nullptr);
  TGardeningContraption& c = *delay->contraption;
  const int feedback = ParameterIndex(c, "Feedback");
  ASSERT_GE(feedback, 0);
  const std::string before = Text();
  step = std::chrono::milliseconds(30);  // the steps of one drag
  for (int i = 1; i <= 20; ++i) TurnKnob(c, feedback, 0.04 * i);
  EXPECT_EQ(patch.History().Size(), 2u);
  EXPECT_EQ(patch.UndoName(), "Change 'Feedback'");
  step = std::chrono::milliseconds(5000);  // a second drag, later
  TurnKnob(c, feedback, 0.1);
  EXPECT_EQ(patch.History().Size(), 3u);
  patch.Undo();
  patch.Undo();
  EXPECT_EQ(Text(), before);
  EXPECT_EQ(patch.UndoName(), "New " + c.Name());

  // Boxes moved by arrow keys, one step at a time, are one move too.
  step = std::chrono::milliseconds(100);
  for (int i = 0; i < 5; ++i) {
    PatchEditor::NodeMove m{delay, delay->x, delay->y, delay->x + 8, delay->y};
    delay->x += 8;
    patch.MoveNodes({m});
  }
  EXPECT_EQ(patch.UndoName(), "Move " + c.Name());
  patch.Undo();
  EXPECT_EQ(delay->x, 10);
}

TEST_F(EditHistoryTest, CommandsAreNamedForTheMenu) {
  PatchNode* gen = patch.NewContraption("TestGen", 10, 10);
  PatchNode* delay = patch.NewContraption("SDelay", 10, 100);
  ASSERT_TRUE(gen && delay);
  const std::string g = gen->contraption->Name(), d = delay->contraption->Name();
  patch.Connect(*gen, 0, *delay, 0);
  EXPECT_EQ(patch.UndoName(), "Connect " + g + " to " + d);
  delay->contraption->StorePreset(2);
  EXPECT_EQ(patch.UndoName(), "Store Preset 3");
  patch.SetTempo(90);
  EXPECT_EQ(patch.UndoName(), "Change Tempo");
  model.SelectAll();
  model.DeleteSelection();
  EXPECT_EQ(patch.UndoName(), "Delete 2 Contraptions");
  patch.Undo();
  EXPECT_EQ(patch.RedoName(), "Delete 2 Contraptions");
  ASSERT_EQ(model.ConnectionCount(), 1);
  EXPECT_EQ(model.ConnectionAt(0).source->contraption->Name(), g);
  EXPECT_TRUE(patch.FindNode(d)->contraption->HasPreset(2));
}

TEST_F(EditHistoryTest, ModifiedFollowsTheStackBackToTheSavedPosition) {
  EXPECT_FALSE(patch.Modified());
  PatchNode* delay = patch.NewContraption("SDelay", 10, 10);
  ASSERT_NE(delay, nullptr);
  EXPECT_TRUE(patch.Modified());
  patch.MarkSaved();
  EXPECT_FALSE(patch.Modified());
  patch.SetTempo(100);
  EXPECT_TRUE(patch.Modified());
  patch.Undo();
  EXPECT_FALSE(patch.Modified()) << "back where it was saved";
  patch.Undo();
  EXPECT_TRUE(patch.Modified());
  patch.Redo();
  EXPECT_FALSE(patch.Modified());
  // A new edit after an undo past the save makes the saved state unreachable.
  patch.Undo();
  patch.NewContraption("TestGen", 0, 0);
  EXPECT_TRUE(patch.Modified());
  patch.Undo();
  EXPECT_TRUE(patch.Modified());
  document.New();
  EXPECT_FALSE(patch.CanUndo()) << "a new document starts a new history";
}

// A long session keeps the newest commands: at most a thousand, and within
// the memory budget. A save that fell off the end leaves the patch modified;
// one still in reach is found again.
TEST(EditHistoryCapTest, TheOldestCommandsGoBeyondAThousandOrTheMemoryBudget) {
  EditHistory history;
  auto tempo = [](int from, size_t bytes) {
    PatchStep step;
    step.kind = PatchStep::Kind::Tempo;
    step.tempoBefore = from;
    step.tempoAfter = from + 1;
    step.item.assign(bytes, 'x');
    return PatchCommand{"Change Tempo", {step}, {}, {}};
  };
  for (int i = 0; i < 1500; ++i) history.Push(tempo(i, 0));
  EXPECT_EQ(history.Size(), EditHistory::kMaxCommands);
  EXPECT_EQ(history.NextUndo().steps[0].tempoBefore, 1499);
  size_t undone = 0;
  for (; history.CanUndo(); ++undone) history.StepBack();
  EXPECT_EQ(undone, EditHistory::kMaxCommands);
  EXPECT_EQ(history.NextRedo().steps[0].tempoBefore, 500);
  EXPECT_FALSE(history.AtSaved()) << "the opened state fell off the end";

  history.Clear();
  for (int i = 0; i < 10; ++i) history.Push(tempo(i, 0));
  history.MarkSaved();
  for (int i = 10; i < 1005; ++i) history.Push(tempo(i, 0));
  for (int i = 0; i < 995; ++i) history.StepBack();
  EXPECT_TRUE(history.AtSaved()) << "the saved position moved with the commands";
  history.StepBack();
  EXPECT_FALSE(history.AtSaved());

  history.Clear();
  for (int i = 0; i < 100; ++i) history.Push(tempo(i, size_t{1} << 20));
  EXPECT_LE(history.Bytes(), EditHistory::kMaxBytes);
  EXPECT_GE(history.Size(), 30u);
  EXPECT_LT(history.Size(), 32u);
  // A command larger than the whole budget is still the one to undo.
  history.Push(tempo(0, EditHistory::kMaxBytes));
  EXPECT_EQ(history.Size(), 1u);
  EXPECT_TRUE(history.CanUndo());
}

}  // namespace edit_history_test
}  // namespace tg
