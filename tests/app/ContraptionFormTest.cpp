#include <gtest/gtest.h>

#include <QRadioButton>
#include <QScrollArea>

#include "contraptions/generators/testgen/TGTestSignalGenerator.h"
#include "contraptions/generators/testgen/TTestGenForm.h"
#include "controls/KWDWKnob.h"
#include "controls/KWNumberEdit.h"
#include "forms/ContraptionWindowHost.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace contraption_form_test {

using test::Drag;
using test::Mouse;

using ContraptionFormTest = test::WindowHostFixture;

TEST_F(ContraptionFormTest, PlacingSnapsToTheGridOfThePaneContent) {
  TTestGenForm* form = Open<TTestGenForm>(Make("TestGen"));
  ASSERT_NE(form, nullptr);
  form->Place(QRect(-25, 33, 171, 95));
  EXPECT_EQ(form->ContentPosition(), QPoint(0, 30));
  EXPECT_EQ(form->width(), 180);
  EXPECT_EQ(form->height(), 100);

  form->BeginHeaderDrag({50, 5});
  form->ContinueHeaderDrag({57, 5});  // 7 pixels: nothing yet
  EXPECT_EQ(form->ContentPosition(), QPoint(0, 30));
  form->ContinueHeaderDrag({62, 5});  // 12 in all: 10 now, 2 kept
  EXPECT_EQ(form->ContentPosition(), QPoint(10, 30));
  // The header moved with the window: the mouse 8 pixels further on is at 60.
  form->ContinueHeaderDrag({60, 5});  // 2 + 8
  EXPECT_EQ(form->ContentPosition(), QPoint(20, 30));
}

TEST_F(ContraptionFormTest, ClosingRemembersThePlaceAndReopeningUsesIt) {
  TGardeningContraption& c = Make("TestGen");
  TTestGenForm* form = Open<TTestGenForm>(c);
  form->Place(QRect(120, 40, 182, 90));
  EXPECT_TRUE(c.WindowState().windowOpen);
  engine->SetDocumentModified(false);
  form->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(c.WindowState().windowOpen);
  EXPECT_EQ(c.WindowState().windowLeft, 120);
  EXPECT_EQ(c.WindowState().windowTop, 40);
  EXPECT_TRUE(engine->IsDocumentModified());
  TTestGenForm* again = Open<TTestGenForm>(c);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->ContentPosition(), QPoint(120, 40));
}

TEST_F(ContraptionFormTest, ControlsEditTheProcessorAndAPressDropsThePreset) {
  TGardeningContraption& c = Make("TestGen");
  auto& gen = static_cast<TGTestSignalGenerator&>(c.Processor());
  gen.frequency.SetValue(220);
  c.StorePreset(2);
  TTestGenForm* form = Open<TTestGenForm>(c);  // opening a window is a change: no current preset
  EXPECT_EQ(form->PresetCaption(), "--");
  c.RecallPreset(2);
  form->UpdateControls();
  EXPECT_EQ(form->PresetCaption(), "3");
  EXPECT_EQ(form->FrequencyEdit()->Value(), 220.0);
  EXPECT_TRUE(form->SineButton()->isChecked());

  KWDWKnob* knob = form->VolumeKnob();
  Drag(knob, {17, 30}, {17, 10});
  EXPECT_NEAR(gen.amplitude.Value(), 0.2, 1e-9);
  EXPECT_EQ(form->PresetCaption(), "--");
  EXPECT_EQ(c.CurrentPreset(), -1);

  form->NoiseButton()->setChecked(true);
  EXPECT_EQ(gen.waveform.Value(), 0);
  form->FrequencyEdit()->StepBy(5, false);
  EXPECT_EQ(gen.frequency.Value(), 225.0);
}

TEST_F(ContraptionFormTest, TypesWithoutAWindowShowNothing) {
  TGardeningContraption& buss = Make("M2Buss");
  buss.ShowWindow();
  EXPECT_EQ(host.WindowOf(buss), nullptr);
  EXPECT_FALSE(buss.WindowState().windowOpen);
}

}  // namespace contraption_form_test
}  // namespace tg
