// Undo while the patch plays: a value goes back through the path a knob
// takes, so it is no more of a step than the knob's turn was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "engine/streams/DetachedOutStream.h"
#include "properties/QSPropertyTable.h"
#include "shell/patch/PatchEditor.h"
#include "tests/support/EngineFixture.h"

namespace tg {
namespace undo_while_playing_test {

class UndoWhilePlayingTest : public test::EngineFixture {
 protected:
  static constexpr int kFrames = 1024;
  std::vector<int16_t> Play() {
    std::vector<int16_t> buffer(2 * kFrames);
    dynamic_cast<DetachedOutStream&>(engine->OutStream()).Fill(buffer.data(), kFrames);
    return buffer;
  }
  static int MaxStep(const std::vector<int16_t>& s) {
    int step = 0;
    for (size_t i = 2; i < s.size(); i += 2) step = std::max(step, std::abs(s[i] - s[i - 2]));
    return step;
  }
  static void Set(TGardeningContraption& c, std::string_view name, double value) {
    c.Processor().GetPropertyTable()->PropertyByName(name).SetNumericValue(value);
  }
};

TEST_F(UndoWhilePlayingTest, AnUndoneKnobTurnStepsNoMoreThanTheTurnItself) {
  PatchModel model;
  PatchEditor patch(*engine, model);
  PatchNode* gen = patch.NewContraption("TestGen", 0, 0);
  PatchNode* out = patch.NewContraption("SoundOut", 0, 100);
  ASSERT_TRUE(gen && out);
  TGardeningContraption& g = *gen->contraption;
  Set(g, "Waveform", 1.0);
  Set(g, "Frequency", 200.0);
  Set(g, "Amplitude", 0.1);
  g.MarkChanged();
  patch.Connect(*gen, 0, *out, 0);
  engine->GetContext().Clock().SetRunning(true);
  engine->StartAudioOut();
  Play();
  const int steady = MaxStep(Play());

  Set(g, "Amplitude", 0.9);  // one knob step across most of its range
  g.MarkChanged();
  const int knob = MaxStep(Play());
  Play();
  patch.Undo();
  const std::vector<int16_t> undone = Play();
  const int undo = MaxStep(undone);
  EXPECT_GT(knob, steady);
  EXPECT_LE(undo, knob + knob / 20) << "steady " << steady << ", knob " << knob;
  EXPECT_DOUBLE_EQ(*g.Processor().GetPropertyTable()->PropertyByName("Amplitude").NumericValue(),
                   0.1);
  engine->StopAudioOut();
}

}  // namespace undo_while_playing_test
}  // namespace tg
