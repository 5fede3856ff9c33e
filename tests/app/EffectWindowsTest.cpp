#include <gtest/gtest.h>

#include <QRadioButton>
#include <QTest>

#include "contraptions/effects/nastyreverb/TGCmixReverb.h"
#include "contraptions/effects/nastyreverb/TNastyReverbForm.h"
#include "contraptions/effects/ringam/TGRingAM.h"
#include "contraptions/effects/ringam/TRingAMForm.h"
#include "controls/KWDWKnob.h"
#include "controls/KWDWSlider.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace effect_windows_test {

using test::Drag;

using RingReverbWindows = test::WindowHostFixture;

TEST_F(RingReverbWindows, RingAMsKnobAndButtonsSetItsParameters) {
  TGardeningContraption& c = Make("RingAM");
  auto& ring = static_cast<TGRingAM&>(c.Processor());
  auto* form = Open<TRingAMForm>(c);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->windowTitle(), "RingAM");
  EXPECT_EQ(form->FrequencyKnob()->Min(), 20.0);
  EXPECT_EQ(form->FrequencyKnob()->Max(), 1500.0);
  EXPECT_DOUBLE_EQ(form->FrequencyKnob()->Value(), 440.0);
  EXPECT_EQ(form->RingButton()->text(), "Ring Mod");
  EXPECT_EQ(form->AmButton()->text(), "AM");
  EXPECT_TRUE(form->RingButton()->isChecked());

  // Twenty pixels up: a fifth of the way from 20 to 1500 Hz.
  const QPoint centre = form->FrequencyKnob()->rect().center();
  Drag(form->FrequencyKnob(), centre, centre - QPoint(0, 20));
  EXPECT_NEAR(ring.frequency.Value(), 440.0 + 0.2 * 1480.0, 1e-6);
  EXPECT_EQ(c.CurrentPreset(), -1);

  QTest::mouseClick(form->AmButton(), Qt::LeftButton);
  EXPECT_TRUE(ring.am.Value());
  QTest::mouseClick(form->RingButton(), Qt::LeftButton);
  EXPECT_FALSE(ring.am.Value());
  EXPECT_TRUE(form->RingButton()->isChecked());
  EXPECT_FALSE(form->AmButton()->isChecked());
}

TEST_F(RingReverbWindows, RingAMsWindowShowsChangedParameters) {
  TGardeningContraption& c = Make("RingAM");
  auto& ring = static_cast<TGRingAM&>(c.Processor());
  auto* form = Open<TRingAMForm>(c);
  ASSERT_NE(form, nullptr);
  ring.frequency.SetValue(1000.0);
  ring.am.SetValue(true);
  c.StorePreset(1);
  ring.frequency.SetValue(55.0);
  ring.am.SetValue(false);
  c.RecallPreset(1);
  form->UpdateControls();
  EXPECT_DOUBLE_EQ(form->FrequencyKnob()->Value(), 1000.0);
  EXPECT_TRUE(form->AmButton()->isChecked());
  EXPECT_FALSE(form->RingButton()->isChecked());
  EXPECT_EQ(form->PresetCaption(), "2");
  // Showing the values is no edit.
  EXPECT_EQ(ring.frequency.Value(), 1000.0);
  EXPECT_TRUE(ring.am.Value());
}

TEST_F(RingReverbWindows, NastyReverbsSlidersSetItsParametersAndFollowThem) {
  TGardeningContraption& c = Make("NastyReverb");
  auto& reverb = static_cast<TGCmixReverb&>(c.Processor());
  auto* form = Open<TNastyReverbForm>(c);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->windowTitle(), "NastyReverb");
  KWDWSlider* time = form->ReverbTimeSlider();
  KWDWSlider* wet = form->WetnessSlider();
  EXPECT_FALSE(time->IsVertical());
  EXPECT_EQ(time->width(), 140);
  EXPECT_EQ(wet->width(), 140);
  EXPECT_EQ(time->Min(), 0.1);
  EXPECT_EQ(time->Max(), 10.0);
  EXPECT_DOUBLE_EQ(time->Value(), 1.0);
  EXPECT_DOUBLE_EQ(wet->Value(), 0.5);
  // The window keeps the designed width and both sliders inside it.
  EXPECT_LE(time->mapTo(form, QPoint(time->width(), 0)).x(), form->width());

  // A fader travels its length less the thumb: 129 pixels from end to end.
  const int y = time->height() / 2;
  const int x = time->ThumbRect().center().x();
  Drag(time, {x, y}, {x + 43, y});
  EXPECT_NEAR(reverb.reverbTime.Value(), 1.0 + 43.0 / 129.0 * 9.9, 1e-9);
  const int w = wet->ThumbRect().center().x();
  Drag(wet, {w, y}, {w - 200, y});  // past the left end: all dry
  EXPECT_EQ(reverb.wetDryMix.Value(), 0.0);
  EXPECT_EQ(c.CurrentPreset(), -1);

  reverb.reverbTime.SetValue(7.5);
  reverb.wetDryMix.SetValue(0.25);
  form->UpdateControls();
  EXPECT_DOUBLE_EQ(time->Value(), 7.5);
  EXPECT_DOUBLE_EQ(wet->Value(), 0.25);
  EXPECT_EQ(reverb.reverbTime.Value(), 7.5);  // showing is no edit
}

}  // namespace effect_windows_test
}  // namespace tg
