#include <gtest/gtest.h>

#include <QLabel>
#include <QStringList>
#include <cmath>

#include "contraptions/filters/paraeq/TGParametric.h"
#include "contraptions/filters/paraeq/TParaEQForm.h"
#include "contraptions/mixers/crossfader/TCrossfaderForm.h"
#include "contraptions/mixers/crossfader/TGCrossfader.h"
#include "controls/KWDWKnob.h"
#include "controls/KWDWSlider.h"
#include "framework/TGardeningContraption.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace eq_fader_windows_test {

using test::Drag;

class EqFaderWindowsTest : public test::WindowHostFixture {
 protected:
  static QStringList Captions(const QWidget* form) {
    QStringList texts;
    for (const QLabel* label : form->findChildren<QLabel*>()) texts << label->text();
    return texts;
  }
  // Drags a knob up by some pixels: 0.01 of its travel each.
  static void TurnUp(KWDWKnob* knob, int pixels) { Drag(knob, {15, 20}, {15, 20 - pixels}); }
  static void ExpectRange(const KWDWKnob* knob, double min, double max, const char* what) {
    EXPECT_DOUBLE_EQ(knob->Min(), min) << what;
    EXPECT_DOUBLE_EQ(knob->Max(), max) << what;
  }
};

TEST_F(EqFaderWindowsTest, BothParaEQTypesShowTheSameKnobsWithTheirRanges) {
  for (const char* type : {"MParaEQ", "SParaEQ"}) {
    TGardeningContraption& c = Make(type);
    auto* form = Open<TParaEQForm>(c);
    ASSERT_NE(form, nullptr) << type;
    const QStringList captions = Captions(form);
    for (const char* caption : {"Hi:", "Mid1:", "Mid2:", "Low:", "Cf", "Bw", "Gain"})
      EXPECT_TRUE(captions.contains(caption)) << type << " " << caption;
    EXPECT_EQ(captions.count("Cf"), 4);
    EXPECT_EQ(captions.count("Bw"), 2);
    EXPECT_EQ(captions.count("Gain"), 4);
    ExpectRange(form->hsCFKnob(), 3000.0, 18000.0, "hs cf");
    ExpectRange(form->lsCFKnob(), 20.0, 3000.0, "ls cf");
    for (int b : {0, 1}) {
      ExpectRange(form->bpCFKnob(b), 50.0, 15000.0, "bp cf");
      ExpectRange(form->bpBWKnob(b), 10.0, 2000.0, "bp bw");
      ExpectRange(form->bpGainKnob(b), -30.0, 30.0, "bp gain");
      EXPECT_EQ(form->bpCFKnob(b)->Scale(), ValueScale::Logarithmic);
      EXPECT_EQ(form->bpGainKnob(b)->Scale(), ValueScale::Linear);
    }
    // The defaults, the narrow 20 Hz bands included.
    EXPECT_NEAR(form->hsCFKnob()->Value(), 10000.0, 1e-6);
    EXPECT_NEAR(form->bpCFKnob(0)->Value(), 1000.0, 1e-6);
    EXPECT_NEAR(form->bpCFKnob(1)->Value(), 500.0, 1e-6);
    EXPECT_NEAR(form->bpBWKnob(1)->Value(), 20.0, 1e-6);
    EXPECT_NEAR(form->lsCFKnob()->Value(), 100.0, 1e-6);
    EXPECT_LE(form->width(), 200);
  }
}

TEST_F(EqFaderWindowsTest, ParaEQKnobsSetTheirOwnBandAndShowChanges) {
  TGardeningContraption& c = Make("SParaEQ");
  auto& eq = static_cast<TGParametric&>(c.Processor());
  auto* form = Open<TParaEQForm>(c);
  ASSERT_NE(form, nullptr);

  TurnUp(form->bpGainKnob(1), 10);  // from the middle: +6 dB
  EXPECT_NEAR(eq.bands[1].gain.Value(), 6.0, 1e-9);
  EXPECT_EQ(eq.bands[0].gain.Value(), 0.0);
  EXPECT_EQ(form->PresetCaption(), "--");
  const double before = form->bpCFKnob(0)->Position();
  TurnUp(form->bpCFKnob(0), 10);
  EXPECT_NEAR(form->bpCFKnob(0)->Position(), before + 0.1, 1e-9);
  EXPECT_DOUBLE_EQ(eq.bands[0].centre.Value(), form->bpCFKnob(0)->Value());
  EXPECT_NEAR(eq.bands[0].centre.Value(), 1000.0 * std::pow(300.0, 0.1), 1e-6);  // logarithmic
  EXPECT_EQ(eq.bands[1].centre.Value(), 500.0);
  TurnUp(form->hsGainKnob(), -20);
  EXPECT_NEAR(eq.hsGain.Value(), -12.0, 1e-9);
  TurnUp(form->lsGainKnob(), 100);  // past the end
  EXPECT_DOUBLE_EQ(eq.lsGain.Value(), 30.0);
  TurnUp(form->bpBWKnob(1), 5);
  EXPECT_GT(eq.bands[1].bandwidth.Value(), 20.0);
  EXPECT_EQ(eq.bands[0].bandwidth.Value(), 20.0);

  eq.hsCutoff.SetValue(5000.0);
  eq.bands[0].bandwidth.SetValue(700.0);
  eq.bands[1].centre.SetValue(2500.0);
  eq.lsCutoff.SetValue(250.0);
  eq.lsGain.SetValue(-3.0);
  form->UpdateControls();
  EXPECT_NEAR(form->hsCFKnob()->Value(), 5000.0, 1e-6);
  EXPECT_NEAR(form->bpBWKnob(0)->Value(), 700.0, 1e-6);
  EXPECT_NEAR(form->bpCFKnob(1)->Value(), 2500.0, 1e-6);
  EXPECT_NEAR(form->lsCFKnob()->Value(), 250.0, 1e-6);
  EXPECT_NEAR(form->lsGainKnob()->Value(), -3.0, 1e-9);
  EXPECT_EQ(eq.bands[0].bandwidth.Value(), 700.0);  // showing is not editing
}

TEST_F(EqFaderWindowsTest, CrossfaderControlsSetTheParametersAndShowThem) {
  TGardeningContraption& c = Make("Crossfader");
  auto& x = static_cast<TGCrossfader&>(c.Processor());
  auto* form = Open<TCrossfaderForm>(c);
  ASSERT_NE(form, nullptr);
  for (const char* caption : {"Master", "1 & 2", "3 & 4"})
    EXPECT_TRUE(Captions(form).contains(caption)) << caption;
  EXPECT_EQ(form->Fader()->width(), 144);
  EXPECT_FALSE(form->Fader()->IsVertical());
  // Left to right: master, A's trim, the fader, B's trim.
  EXPECT_LT(form->MasterKnob()->x(), form->Knob1()->x());
  EXPECT_LT(form->Knob1()->x(), form->Fader()->x());
  EXPECT_LT(form->Fader()->x(), form->Knob2()->x());
  for (const KWDWKnob* knob : {form->MasterKnob(), form->Knob1(), form->Knob2()}) {
    EXPECT_DOUBLE_EQ(knob->Max(), 1.5);
    EXPECT_NEAR(knob->Value(), 1.0, 1e-9);
  }
  EXPECT_EQ(form->Fader()->Value(), 0.0);

  Drag(form->Fader(), {5, 12}, {45, 12});
  EXPECT_NEAR(x.fade.Value(), 40.0 / (144 - KWDWSlider::kThumb), 1e-9);
  EXPECT_EQ(form->PresetCaption(), "--");
  Drag(form->Fader(), {45, 12}, {200, 12});  // past the end
  EXPECT_DOUBLE_EQ(x.fade.Value(), 1.0);
  TurnUp(form->Knob1(), -30);
  EXPECT_NEAR(x.trimA.Value(), 1.0 - 0.3 * 1.5, 1e-9);
  EXPECT_EQ(x.trimB.Value(), 1.0);
  TurnUp(form->Knob2(), 10);
  EXPECT_NEAR(x.trimB.Value(), 1.15, 1e-9);
  TurnUp(form->MasterKnob(), -10);
  EXPECT_NEAR(x.masterGain.Value(), 0.85, 1e-9);

  x.fade.SetValue(0.25);
  x.trimA.SetValue(1.2);
  x.trimB.SetValue(0.3);
  x.masterGain.SetValue(1.4);
  form->UpdateControls();
  EXPECT_NEAR(form->Fader()->Value(), 0.25, 1e-9);
  EXPECT_NEAR(form->Knob1()->Value(), 1.2, 1e-9);
  EXPECT_NEAR(form->Knob2()->Value(), 0.3, 1e-9);
  EXPECT_NEAR(form->MasterKnob()->Value(), 1.4, 1e-9);
  EXPECT_EQ(x.fade.Value(), 0.25);
}

}  // namespace eq_fader_windows_test
}  // namespace tg
