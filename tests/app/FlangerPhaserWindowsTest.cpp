#include <gtest/gtest.h>

#include <QLabel>
#include <QStringList>

#include "contraptions/effects/flanger/TFlangerForm.h"
#include "contraptions/effects/flanger/TGFlanger.h"
#include "contraptions/effects/phaser/TGPhaser.h"
#include "contraptions/effects/phaser/TPhaserForm.h"
#include "controls/KWDWSlider.h"
#include "controls/KWRangeSlider.h"
#include "framework/TGardeningContraption.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace flanger_phaser_windows_test {

using test::Drag;

class FlangerPhaserWindowsTest : public test::WindowHostFixture {
 protected:
  static QStringList Captions(const QWidget* form) {
    QStringList texts;
    for (const QLabel* label : form->findChildren<QLabel*>()) texts << label->text();
    return texts;
  }
  // Drags the range slider's upper thumb by dx pixels, then the bar (the
  // whole range) by another dx.
  static void DragRange(KWRangeSlider* range, int dx) {
    const double travel = range->width() - KWRangeSlider::kReserved;
    const int upper = static_cast<int>(range->Positions().p1 * travel) + 11;
    ASSERT_EQ(range->GrabAt({upper, 12}), RangeGrab::Upper);
    Drag(range, {upper, 12}, {upper + dx, 12});
    // Between the lower thumb's end and the upper one's start.
    const RangePositions at = range->Positions();
    const int bar = static_cast<int>(((at.p0 + at.p1) * travel + 15) / 2);
    ASSERT_EQ(range->GrabAt({bar, 12}), RangeGrab::Bar);
    Drag(range, {bar, 12}, {bar + dx, 12});
  }
  // A horizontal fader moves 1 / (width − 11) of its travel a pixel.
  static double PositionAfter(const KWDWSlider* slider, double before, int dx) {
    return before + static_cast<double>(dx) / (slider->width() - KWDWSlider::kThumb);
  }
};

TEST_F(FlangerPhaserWindowsTest, FlangerControlsSetTheParametersAndShowThem) {
  TGardeningContraption& c = Make("Flanger");
  auto& flanger = static_cast<TGFlanger&>(c.Processor());
  auto* form = Open<TFlangerForm>(c);
  ASSERT_NE(form, nullptr);
  for (const char* caption : {"Range:", "Rate:", "Feedback:", "Wet/dry mix:"})
    EXPECT_TRUE(Captions(form).contains(caption)) << caption;
  EXPECT_EQ(form->RangeSlider()->width(), 140);
  EXPECT_NEAR(form->RangeSlider()->Value0(), 440.0, 1e-6);
  EXPECT_NEAR(form->RangeSlider()->Value1(), 1600.0, 1e-6);
  EXPECT_NEAR(form->RateSlider()->Value(), 1.0, 1e-9);
  EXPECT_NEAR(form->FeedbackSlider()->Value(), 0.9, 1e-9);
  EXPECT_NEAR(form->WetnessSlider()->Value(), 0.7, 1e-9);

  // The upper thumb down 20 pixels: only the top of the sweep moves, on the
  // logarithmic scale (1600 Hz to about 680); then the whole range down by
  // as much, to about 187 … 289 Hz.
  DragRange(form->RangeSlider(), -20);
  EXPECT_DOUBLE_EQ(flanger.maxFrequency.Value(), form->RangeSlider()->Value1());
  EXPECT_DOUBLE_EQ(flanger.minFrequency.Value(), form->RangeSlider()->Value0());
  EXPECT_NEAR(flanger.minFrequency.Value(), 187.0, 5.0);
  EXPECT_NEAR(flanger.maxFrequency.Value(), 289.0, 5.0);
  EXPECT_EQ(form->PresetCaption(), "--");

  const double rateAt = form->RateSlider()->Position();
  Drag(form->RateSlider(), {60, 12}, {90, 12});
  EXPECT_NEAR(form->RateSlider()->Position(), PositionAfter(form->RateSlider(), rateAt, 30), 1e-9);
  EXPECT_DOUBLE_EQ(flanger.rate.Value(), form->RateSlider()->Value());
  EXPECT_GT(flanger.rate.Value(), 5.0);  // 30 pixels are more than a decade
  Drag(form->FeedbackSlider(), {60, 12}, {17, 12});
  EXPECT_NEAR(flanger.feedback.Value(), 0.9 - 0.95 * 43 / 129.0, 1e-9);
  Drag(form->WetnessSlider(), {60, 12}, {160, 12});  // past the end
  EXPECT_DOUBLE_EQ(flanger.wetDryMix.Value(), 1.0);

  // Values from elsewhere (a preset, a document) show when the window updates;
  // ends given the other way round still show the span the sweep runs over.
  flanger.minFrequency.SetValue(3000.0);
  flanger.maxFrequency.SetValue(100.0);
  flanger.rate.SetValue(0.01);
  flanger.feedback.SetValue(0.2);
  flanger.wetDryMix.SetValue(0.3);
  form->UpdateControls();
  EXPECT_NEAR(form->RangeSlider()->Value0(), 100.0, 1e-6);
  EXPECT_NEAR(form->RangeSlider()->Value1(), 3000.0, 1e-6);
  EXPECT_NEAR(form->RateSlider()->Value(), 0.01, 1e-9);
  EXPECT_NEAR(form->FeedbackSlider()->Value(), 0.2, 1e-9);
  EXPECT_NEAR(form->WetnessSlider()->Value(), 0.3, 1e-9);
  EXPECT_DOUBLE_EQ(flanger.minFrequency.Value(), 3000.0);  // showing is not editing
}

TEST_F(FlangerPhaserWindowsTest, PhaserControlsSetTheParametersAndShowThem) {
  TGardeningContraption& c = Make("Phaser");
  auto& phaser = static_cast<TGPhaser&>(c.Processor());
  auto* form = Open<TPhaserForm>(c);
  ASSERT_NE(form, nullptr);
  for (const char* caption : {"Range:", "Rate:", "Feedback:", "Depth:"})
    EXPECT_TRUE(Captions(form).contains(caption)) << caption;
  EXPECT_NEAR(form->RateSlider()->Value(), 0.55, 1e-9);
  EXPECT_NEAR(form->FeedbackSlider()->Value(), 0.7, 1e-9);
  EXPECT_NEAR(form->DepthSlider()->Value(), 1.0, 1e-9);

  DragRange(form->RangeSlider(), 10);
  EXPECT_DOUBLE_EQ(phaser.maxFrequency.Value(), form->RangeSlider()->Value1());
  EXPECT_DOUBLE_EQ(phaser.minFrequency.Value(), form->RangeSlider()->Value0());
  EXPECT_GT(phaser.minFrequency.Value(), 500.0);
  EXPECT_LE(phaser.maxFrequency.Value(), 4000.0);
  EXPECT_EQ(form->PresetCaption(), "--");

  Drag(form->RateSlider(), {60, 12}, {30, 12});
  EXPECT_DOUBLE_EQ(phaser.rate.Value(), form->RateSlider()->Value());
  EXPECT_LT(phaser.rate.Value(), 0.1);
  Drag(form->FeedbackSlider(), {60, 12}, {160, 12});
  EXPECT_DOUBLE_EQ(phaser.feedback.Value(), 0.95);  // the window's end
  Drag(form->DepthSlider(), {60, 12}, {34, 12});
  EXPECT_NEAR(phaser.depth.Value(), 1.0 - 26 / 129.0, 1e-9);

  phaser.minFrequency.SetValue(50.0);
  phaser.maxFrequency.SetValue(2500.0);
  phaser.rate.SetValue(20.0);
  phaser.feedback.SetValue(0.0);
  phaser.depth.SetValue(0.25);
  form->UpdateControls();
  EXPECT_NEAR(form->RangeSlider()->Value0(), 50.0, 1e-6);
  EXPECT_NEAR(form->RangeSlider()->Value1(), 2500.0, 1e-6);
  EXPECT_NEAR(form->RateSlider()->Value(), 20.0, 1e-9);
  EXPECT_NEAR(form->FeedbackSlider()->Value(), 0.0, 1e-9);
  EXPECT_NEAR(form->DepthSlider()->Value(), 0.25, 1e-9);
}

}  // namespace flanger_phaser_windows_test
}  // namespace tg
