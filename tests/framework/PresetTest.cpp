#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "contraptions/io/soundin/TGSoundIn.h"
#include "host/StreamUserMessages.h"
#include "shell/patch/ContraptionSnapshot.h"
#include "tests/support/EngineFixture.h"

namespace tg {
namespace preset_test {

using test::TestAllKinds;
using test::TestRingAM;

class PresetTest : public test::EngineFixture {
 protected:
  std::string Clipboard() { return engine->Host().clipboard->Text().value_or("<none>"); }
  void SetClipboard(const std::string& text) { engine->Host().clipboard->SetText(text); }
};

std::string Written(const QSPreset& preset) {
  std::ostringstream out;
  preset.WriteTo(out);
  return out.str();
}

TEST_F(PresetTest, StoreRecallAndClear) {
  TGardeningContraption& c = Make("TestRingAM");
  auto& ring = ProcessorOf<TestRingAM>(c);
  EXPECT_EQ(Written(c.PresetAt(3)), "{  }");
  c.StorePreset(3);
  EXPECT_EQ(c.CurrentPreset(), 3);
  EXPECT_EQ(Written(c.PresetAt(3)), "{ 440, 0 }");

  ring.frequency.SetValue(100.0);
  ring.am.SetValue(1);
  c.StorePreset(4);
  c.RecallPreset(3);
  EXPECT_EQ(ring.frequency.Value(), 440.0);
  EXPECT_EQ(ring.am.Value(), 0);
  EXPECT_EQ(c.CurrentPreset(), 3);
  ring.frequency.TakeChanged();
  c.RecallPreset(4);
  EXPECT_TRUE(ring.frequency.TakeChanged());  // the audio thread will hear of it
  EXPECT_EQ(ring.frequency.Value(), 100.0);

  // Storing over a set preset overwrites its values.
  ring.frequency.SetValue(55.0);
  c.StorePreset(4);
  EXPECT_EQ(Written(c.PresetAt(4)), "{ 55, 1 }");

  c.ClearPreset(3);
  EXPECT_FALSE(c.HasPreset(3));
  EXPECT_EQ(c.CurrentPreset(), 4);
  c.ClearPreset(4);
  EXPECT_EQ(c.CurrentPreset(), -1);  // the preset button shows "--"
  c.RecallPreset(4);                 // an empty slot changes no value
  EXPECT_EQ(ring.frequency.Value(), 55.0);
}

TEST_F(PresetTest, SlotsOutsideTheTwentyDoNothing) {
  TGardeningContraption& c = Make("RingAM");
  for (int slot : {-1, 20, 1000}) {
    c.StorePreset(slot);
    c.CopyPreset(slot);
    c.PastePreset(slot);
    c.ClearPreset(slot);
    EXPECT_FALSE(c.HasPreset(slot));
  }
  EXPECT_EQ(c.CurrentPreset(), 0);
  EXPECT_EQ(Clipboard(), "<none>");
}

TEST_F(PresetTest, CopyCutAndPasteThroughTheClipboard) {
  TGardeningContraption& source = Make("RingAM");
  source.StorePreset(0);
  source.CopyPreset(0);
  EXPECT_EQ(Clipboard(), "preset: RingAM { 440, 0 }");

  TGardeningContraption& other = Make("AllKinds");
  EXPECT_FALSE(other.CanPastePreset());
  other.PastePreset(0);
  EXPECT_FALSE(other.HasPreset(0));

  TGardeningContraption& target = Make("RingAM");
  target.StorePreset(7);
  ASSERT_TRUE(target.CanPastePreset());
  target.PastePreset(2);
  EXPECT_EQ(Written(target.PresetAt(2)), "{ 440, 0 }");
  EXPECT_EQ(target.CurrentPreset(), 7);  // pasting does not change the current preset

  source.CutPreset(0);
  EXPECT_FALSE(source.HasPreset(0));
  EXPECT_EQ(Clipboard(), "preset: RingAM { 440, 0 }");
  EXPECT_EQ(source.CurrentPreset(), -1);

  // An empty preset pasted over a set one empties it.
  SetClipboard("preset: RingAM {  }");
  target.PastePreset(2);
  EXPECT_FALSE(target.HasPreset(2));
}

TEST_F(PresetTest, PasteRules) {
  TGardeningContraption& c = Make("RingAM");
  for (const char* text :
       {"", "preset:", "preset: Ring", "Preset: RingAM { 1, 1 }", "preset: RingAMX { 1, 1 }",
        "preset:  RingAM { 1, 1 }", "something else entirely"}) {
    SetClipboard(text);
    EXPECT_FALSE(c.CanPastePreset()) << text;
    c.PastePreset(0);
    EXPECT_FALSE(c.HasPreset(0)) << text;
  }
  engine->Host().clipboard->SetText("preset: RingAM { 1, 1 }");
  EXPECT_TRUE(c.CanPastePreset());
  // The type word alone offers pasting, but a paste needs a preset after it.
  SetClipboard("preset: RingAM");
  EXPECT_TRUE(c.CanPastePreset());
  c.PastePreset(0);
  EXPECT_FALSE(c.HasPreset(0));
  // A malformed preset changes nothing.
  SetClipboard("preset: RingAM { 12; 1 }");
  c.PastePreset(5);
  EXPECT_FALSE(c.HasPreset(5));
}

// A preset that cannot be read leaves the slot as it was, records no edit and
// says why.
TEST_F(PresetTest, AMalformedPresetPastesNothing) {
  StreamUserMessages messages(nullptr);
  UserMessages* const before = engine->Host().messages;
  engine->Host().messages = &messages;
  TGardeningContraption& c = Make("RingAM");
  c.StorePreset(3);
  const std::string stored = Written(c.PresetAt(3));
  for (const char* text : {"preset: RingAM { 0.5, x }", "preset: RingAM garbage"}) {
    SetClipboard(text);
    engine->SetDocumentModified(false);
    c.PastePreset(3);
    EXPECT_FALSE(engine->IsDocumentModified()) << text;
    EXPECT_EQ(Written(c.PresetAt(3)), stored) << text;
    ASSERT_FALSE(messages.Messages().empty()) << text;
    EXPECT_EQ(messages.Messages().back().text, "The preset in the clipboard cannot be read.");
  }
  SetClipboard("preset: RingAM { 0.5 }");  // what a preset leaves out is kept
  c.PastePreset(3);
  EXPECT_EQ(Written(c.PresetAt(3)), "{ 20, 0 }");
  engine->Host().messages = before;
}

TEST_F(PresetTest, ReadingFillsMissingValuesFromTheCurrentParameters) {
  TGardeningContraption& c = Make("AllKinds");
  auto& p = ProcessorOf<TestAllKinds>(c);
  p.count.SetValue(9);
  std::istringstream in("{ 0.75 }");
  c.PresetAt(1).ReadFrom(in);
  EXPECT_FALSE(in.fail());
  EXPECT_EQ(Written(c.PresetAt(1)), "{ 0.75, 0, 9, \"\" }");

  std::istringstream surplus("{ 0.5, 1, 2, \"f\", 99, 100 } after");
  c.PresetAt(2).ReadFrom(surplus);
  EXPECT_EQ(Written(c.PresetAt(2)), "{ 0.5, 1, 2, \"f\" }");
  std::string after;
  surplus >> after;
  EXPECT_EQ(after, "after");

  for (const char* bad : {"", "x", "{", "{ 0.5", "{ 0.5,", "{ 0.5, 1, 2, \"f\", 99"}) {
    std::istringstream in2(bad);
    c.PresetAt(3).ReadFrom(in2);  // stops at the end of input
    EXPECT_TRUE(in2.fail()) << bad;
  }
}

TEST_F(PresetTest, AllTwentyPresetsRoundTripThroughText) {
  TGardeningContraption& c = Make("AllKinds");
  auto& p = ProcessorOf<TestAllKinds>(c);
  for (int slot = 0; slot < TGardeningContraption::kPresetCount; slot += 3) {
    p.level.SetValue(slot / 20.0);
    p.file.SetValue("take " + std::to_string(slot) + ".wav");
    c.StorePreset(slot);
  }
  TGardeningContraption& copy = Make("AllKinds");
  for (int slot = 0; slot < TGardeningContraption::kPresetCount; ++slot) {
    std::istringstream in(Written(c.PresetAt(slot)));
    copy.PresetAt(slot).ReadFrom(in);
    EXPECT_EQ(Written(copy.PresetAt(slot)), Written(c.PresetAt(slot))) << slot;
    EXPECT_EQ(copy.HasPreset(slot), c.HasPreset(slot)) << slot;
  }
}

TEST_F(PresetTest, RecallAndUndoLeaveTheStatesAProcessorKeeps) {
  TGardeningContraption& c = Make("SoundIn");
  TGSoundIn& in = engine->SoundInProcessor();
  in.loop.SetValue(true);
  in.location.SetValue(1000.0);
  c.StorePreset(0);
  const ContraptionSnapshot before = ContraptionSnapshot::Of(c);
  in.loop.SetValue(false);
  in.location.SetValue(5000.0);  // moved on while playing
  in.fileIsGood.SetValue(true);
  c.RecallPreset(0);
  EXPECT_TRUE(in.loop.Value());
  EXPECT_EQ(in.location.Value(), 5000.0);
  EXPECT_TRUE(in.fileIsGood.Value());
  // A snapshot does not see the position move, and applying one seeks nowhere.
  EXPECT_TRUE(ContraptionSnapshot::Of(c).ChangedParameters(before).empty());
  in.loop.SetValue(false);
  EXPECT_EQ(ContraptionSnapshot::Of(c).ChangedParameters(before),
            std::vector<int>{in.GetPropertyTable()->IndexOf("Loop")});
  before.ApplyTo(c);
  EXPECT_TRUE(in.loop.Value());
  EXPECT_EQ(in.location.Value(), 5000.0);
}

// Every preset operation that changes what the document saves, or the sound,
// is an edit: quitting afterwards must ask to save.
TEST_F(PresetTest, EditsOfPresetsModifyTheDocument) {
  TGardeningContraption& c = Make("TestRingAM");
  auto& ring = ProcessorOf<TestRingAM>(c);
  auto editedBy = [&](auto&& operation) {
    engine->SetDocumentModified(false);
    operation();
    return engine->IsDocumentModified();
  };
  EXPECT_TRUE(editedBy([&] { c.StorePreset(2); }));
  EXPECT_EQ(c.CurrentPreset(), 2);  // storing keeps the slot it made current
  ring.frequency.SetValue(880.0);
  EXPECT_TRUE(editedBy([&] { c.RecallPreset(2); }));
  EXPECT_EQ(c.CurrentPreset(), 2);
  EXPECT_DOUBLE_EQ(ring.frequency.Value(), 440.0);
  EXPECT_FALSE(editedBy([&] { c.CopyPreset(2); }));
  EXPECT_TRUE(editedBy([&] { c.PastePreset(5); }));
  EXPECT_TRUE(c.HasPreset(5));
  EXPECT_TRUE(editedBy([&] { c.CutPreset(5); }));
  EXPECT_FALSE(c.HasPreset(5));
  EXPECT_TRUE(editedBy([&] { c.ClearPreset(2); }));
  EXPECT_EQ(c.CurrentPreset(), -1);
  // Nothing to recall or clear: nothing changed.
  EXPECT_FALSE(editedBy([&] { c.ClearPreset(2); }));
  EXPECT_FALSE(editedBy([&] { c.RecallPreset(7); }));
}

}  // namespace preset_test
}  // namespace tg
