#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QStringList>
#include <cmath>

#include "contraptions/effects/dlgranulator/TDLGranulatorForm.h"
#include "contraptions/effects/dlgranulator/TGDLGranulator.h"
#include "controls/KWDWSlider.h"
#include "controls/KWNumberEdit.h"
#include "controls/KWRangeSlider.h"
#include "framework/TGardeningContraption.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace dlgranulator_window_test {

using test::Drag;

class DLGranulatorWindowTest : public test::WindowHostFixture {
 protected:
  void SetUp() override {
    contraption = &Make("DLGranulator");
    granulator = &static_cast<TGDLGranulator&>(contraption->Processor());
    form = Open<TDLGranulatorForm>(*contraption);
    ASSERT_NE(form, nullptr);
  }
  // The along-the-travel middle of a vertical range slider's upper thumb, or of the bar.
  static QPoint Upper(const KWRangeSlider* s) {
    const double travel = s->height() - KWRangeSlider::kReserved;
    return {s->width() / 2, s->height() - 1 - static_cast<int>(s->Positions().p1 * travel + 11)};
  }
  static QPoint Bar(const KWRangeSlider* s) {
    const double travel = s->height() - KWRangeSlider::kReserved;
    const RangePositions at = s->Positions();
    return {s->width() / 2,
            s->height() - 1 - static_cast<int>(((at.p0 + at.p1) * travel + 15) / 2)};
  }
  static void ExpectShows(const KWRangeSlider* s, const QSRangeProperty& p) {
    EXPECT_NEAR(s->Value0(), p.Value().low, 1e-4 * std::fabs(p.Value().low) + 1e-6);
    EXPECT_NEAR(s->Value1(), p.Value().high, 1e-4 * std::fabs(p.Value().high) + 1e-6);
  }

  TGardeningContraption* contraption = nullptr;
  TGDLGranulator* granulator = nullptr;
  TDLGranulatorForm* form = nullptr;
};

TEST_F(DLGranulatorWindowTest, ShowsEveryControlWithItsCaptionInsideTheWindow) {
  QStringList captions;
  for (const QLabel* label : form->findChildren<QLabel*>()) captions << label->text();
  for (const char* c : {"Delay", "Amp", "Pan", "Trans", "IOT", "GDur", "Shape", "Skew", "Feed",
                        "Mix", "InGain", "Quant", "Max Grains:"})
    EXPECT_TRUE(captions.contains(c)) << c;
  EXPECT_EQ(form->FreezeCheckBox()->text(), "Freeze");
  EXPECT_GE(form->width(), 472);
  EXPECT_LE(form->width(), 490);
  // Nothing clipped by its parent, nothing on top of another control.
  const QList<QWidget*> controls = {
      form->DelaySlider(),    form->AmpSlider(),           form->PanSlider(),
      form->PitchSlider(),    form->IOTSlider(),           form->GDurSlider(),
      form->TrapFactSlider(), form->SkewSlider(),          form->FeedbackSlider(),
      form->MixSlider(),      form->InputGainSlider(),     form->QuantSlider(),
      form->QuantComboBox(),  form->MaxGrainsNumberEdit(), form->FreezeCheckBox()};
  for (int i = 0; i < controls.size(); ++i) {
    const QWidget* c = controls[i];
    EXPECT_TRUE(c->parentWidget()->rect().contains(c->geometry()))
        << i << " " << c->geometry().y() << "+" << c->geometry().height() << " in "
        << c->parentWidget()->height();
    for (int j = 0; j < i; ++j)
      EXPECT_FALSE(c->geometry().intersects(controls[j]->geometry())) << i;
  }
  for (const QLabel* label : form->findChildren<QLabel*>()) {
    if (label->parentWidget() != controls[0]->parentWidget()) continue;  // the header's
    EXPECT_TRUE(label->parentWidget()->rect().contains(label->geometry()))
        << label->text().toStdString();
  }

  // The scales: transposition by octaves with unity marked, times on logarithmic scales.
  EXPECT_EQ(form->PitchSlider()->TickValues(), std::vector<double>{1.0});
  EXPECT_EQ(form->SkewSlider()->TickValues(), std::vector<double>{0.5});
  form->PitchSlider()->SetValue1(1.0);
  EXPECT_NEAR(form->PitchSlider()->Positions().p1, 0.5, 1e-9);
  form->IOTSlider()->SetValue1(std::sqrt(2.0 * 2000.0));
  EXPECT_NEAR(form->IOTSlider()->Positions().p1, 0.5, 1e-9);
  form->GDurSlider()->SetValue1(50.0);
  EXPECT_NEAR(form->GDurSlider()->Positions().p1, 0.5, 1e-9);
}

TEST_F(DLGranulatorWindowTest, ControlsSetTheParameters) {
  // The upper Pan thumb halfway down: the grains stay left of centre.
  KWRangeSlider* pan = form->PanSlider();
  const int travel = pan->height() - KWRangeSlider::kReserved;
  Drag(pan, Upper(pan), Upper(pan) + QPoint(0, travel / 2));
  EXPECT_FLOAT_EQ(granulator->panning.Value().low, 0.0f);
  EXPECT_NEAR(granulator->panning.Value().high, 1.0 - (travel / 2) / double(travel), 1e-6);
  EXPECT_EQ(form->PresetCaption(), "--");

  // The Trans range moved up a quarter of the travel with Shift: both ends an octave up.
  KWRangeSlider* pitch = form->PitchSlider();
  Drag(pitch, Upper(pitch), Upper(pitch) - QPoint(0, travel / 4), Qt::ShiftModifier);
  const double octaves = 4.0 * (travel / 4) / double(travel);
  EXPECT_NEAR(granulator->pitchScaler.Value().low, std::pow(2.0, octaves), 1e-5);
  EXPECT_NEAR(granulator->pitchScaler.Value().high, std::pow(2.0, octaves), 1e-5);

  Drag(form->FeedbackSlider(), {12, 60}, {12, 40});
  EXPECT_NEAR(granulator->feedback.Value(), form->FeedbackSlider()->Value(), 1e-12);
  EXPECT_GT(granulator->feedback.Value(), 0.1);
  Drag(form->MixSlider(), {12, 30}, {12, 200});  // past the bottom: all dry
  EXPECT_EQ(granulator->wetDryMix.Value(), 0.0);

  // Every grid entry, with the ticks it stands for.
  const QStringList names = {"[none]", "1",    "1/2",  "1/2t",  "1/4",  "1/4t",
                             "1/8",    "1/8t", "1/16", "1/16t", "1/32", "1/32t"};
  const int ticks[] = {0, 96, 48, 32, 24, 16, 12, 8, 6, 4, 3, 2};
  ASSERT_EQ(form->QuantComboBox()->count(), names.size());
  for (int i = 0; i < names.size(); ++i) {
    EXPECT_EQ(form->QuantComboBox()->itemText(i), names[i]);
    form->QuantComboBox()->setCurrentIndex(i);
    EXPECT_EQ(granulator->quantizeClocks.Value(), ticks[i]) << i;
  }

  KWNumberEdit* grains = form->MaxGrainsNumberEdit();
  EXPECT_EQ(grains->Min(), 1.0);
  EXPECT_EQ(grains->Max(), 20.0);
  EXPECT_TRUE(grains->IntegersOnly());
  grains->StepBy(-3, false);
  EXPECT_LT(grains->Value(), 20.0);
  EXPECT_EQ(granulator->maxGrains.Value(), static_cast<int>(grains->Value()));

  form->FreezeCheckBox()->click();
  EXPECT_TRUE(granulator->freeze.Value());
  form->FreezeCheckBox()->click();
  EXPECT_FALSE(granulator->freeze.Value());
}

TEST_F(DLGranulatorWindowTest, RefreshingShowsEveryParameter) {
  TGDLGranulator& g = *granulator;
  g.delayTime.SetValue(FloatRange{120.0f, 3000.0f});
  g.amplitude.SetValue(FloatRange{0.2f, 0.7f});
  g.panning.SetValue(FloatRange{0.9f, 0.1f});  // upside down, as a hand-edited document may hold
  g.pitchScaler.SetValue(FloatRange{0.5f, 2.0f});
  g.interonsetTime.SetValue(FloatRange{10.0f, 300.0f});
  g.grainDuration.SetValue(FloatRange{8.0f, 250.0f});
  g.attDecRatio.SetValue(FloatRange{0.1f, 0.6f});
  g.grainSkew.SetValue(FloatRange{0.3f, 0.8f});
  g.feedback.SetValue(0.45);
  g.wetDryMix.SetValue(0.25);
  g.inputGain.SetValue(1.2);
  g.quantizeAmount.SetValue(0.75);
  g.quantizeClocks.SetValue(12);
  g.maxGrains.SetValue(9);
  g.freeze.SetValue(true);
  form->UpdateControls();
  ExpectShows(form->DelaySlider(), g.delayTime);
  ExpectShows(form->AmpSlider(), g.amplitude);
  EXPECT_NEAR(form->PanSlider()->Value0(), 0.1, 1e-6);
  EXPECT_NEAR(form->PanSlider()->Value1(), 0.9, 1e-6);
  ExpectShows(form->PitchSlider(), g.pitchScaler);
  ExpectShows(form->IOTSlider(), g.interonsetTime);
  ExpectShows(form->GDurSlider(), g.grainDuration);
  ExpectShows(form->TrapFactSlider(), g.attDecRatio);
  ExpectShows(form->SkewSlider(), g.grainSkew);
  EXPECT_NEAR(form->FeedbackSlider()->Value(), 0.45, 1e-9);
  EXPECT_NEAR(form->MixSlider()->Value(), 0.25, 1e-9);
  EXPECT_NEAR(form->InputGainSlider()->Value(), 1.2, 1e-9);
  EXPECT_NEAR(form->QuantSlider()->Value(), 0.75, 1e-9);
  EXPECT_EQ(form->QuantComboBox()->currentText(), "1/8");
  EXPECT_EQ(form->MaxGrainsNumberEdit()->Value(), 9.0);
  EXPECT_TRUE(form->FreezeCheckBox()->isChecked());
  // Refreshing changes nothing: the upside-down range stays as it was stored.
  EXPECT_FLOAT_EQ(g.panning.Value().low, 0.9f);
  EXPECT_EQ(g.quantizeClocks.Value(), 12);

  // A grid no entry stands for leaves the list where it was.
  g.quantizeClocks.SetValue(5);
  form->UpdateControls();
  EXPECT_EQ(form->QuantComboBox()->currentText(), "1/8");
  EXPECT_EQ(g.quantizeClocks.Value(), 5);
}

}  // namespace dlgranulator_window_test
}  // namespace tg
