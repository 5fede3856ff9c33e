#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QStringList>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <fstream>
#include <vector>

#include "contraptions/generators/bubbleblower/TBubbleBlowerForm.h"
#include "contraptions/generators/bubbleblower/TGBubbleBlower.h"
#include "controls/KWDWSlider.h"
#include "controls/KWNumberEdit.h"
#include "controls/KWRangeSlider.h"
#include "files/SoundFilePaths.h"
#include "forms/GridNoteNames.h"
#include "forms/SoundFileRow.h"
#include "framework/TGardeningContraption.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSoundFiles.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace bubble_blower_window_test {

using test::Drag;

class BubbleBlowerWindowTest : public test::WindowHostFixture {
 protected:
  void SetUp() override {
    document = SoundFilePaths::Instance().DocumentDirectory();
    contraption = &Make("BubbleBlower");
    bb = &static_cast<TGBubbleBlower&>(contraption->Processor());
    form = Open<TBubbleBlower>(*contraption);
    ASSERT_NE(form, nullptr);
    form->FileDialog().choose = [this](QWidget*, const QString&) { return answer; };
  }
  void TearDown() override {
    SoundFilePaths::Instance().SetDocumentDirectory(document);
    SoundFilePaths::Instance().SetLastSoundFileDirectory("");
  }
  static QPoint Upper(const KWRangeSlider* s) {
    const double travel = s->height() - KWRangeSlider::kReserved;
    return {s->width() / 2, s->height() - 1 - static_cast<int>(s->Positions().p1 * travel + 11)};
  }
  static void ExpectShows(const KWRangeSlider* s, const QSRangeProperty& p, const char* what) {
    EXPECT_NEAR(s->Value0(), p.Value().low, 1e-4 * std::fabs(p.Value().low) + 1e-6) << what;
    EXPECT_NEAR(s->Value1(), p.Value().high, 1e-4 * std::fabs(p.Value().high) + 1e-6) << what;
  }
  QList<QWidget*> Controls() const {
    return {form->OpenButton(),         form->FileNamePanel(),  form->AmpSlider(),
            form->PanSlider(),          form->DelaySlider(),    form->PitchSlider(),
            form->GDurSlider(),         form->TrapFactSlider(), form->SkewSlider(),
            form->DensitySlider(),      form->QuantSlider(),    form->QuantComboBox(),
            form->MaxGrainsNumberEdit()};
  }

  std::string document;
  TGardeningContraption* contraption = nullptr;
  TGBubbleBlower* bb = nullptr;
  TBubbleBlower* form = nullptr;
  QString answer;
};

TEST_F(BubbleBlowerWindowTest, ShowsEveryControlWithItsCaptionInsideTheWindow) {
  QStringList captions;
  for (const QLabel* label : form->findChildren<QLabel*>()) captions << label->text();
  for (const char* c : {"File:", "Amp", "Pan", "Inskip", "Trans", "GDur", "Shape", "Skew",
                        "Density", "Quant", "Max Grains:"})
    EXPECT_TRUE(captions.contains(c)) << c;
  EXPECT_GE(form->width(), 362);
  EXPECT_LE(form->width(), 380);
  const QList<QWidget*> controls = Controls();
  for (int i = 0; i < controls.size(); ++i) {
    const QWidget* c = controls[i];
    EXPECT_TRUE(c->parentWidget()->rect().contains(c->geometry())) << i;
    for (int j = 0; j < i; ++j)
      EXPECT_FALSE(c->geometry().intersects(controls[j]->geometry())) << i << " " << j;
  }
  // Captions inside the window and clear of each other.
  std::vector<const QLabel*> labels;
  for (const QLabel* label : form->findChildren<QLabel*>()) {
    if (label->parentWidget() != controls[2]->parentWidget() || label == form->FileNamePanel())
      continue;
    EXPECT_TRUE(label->parentWidget()->rect().contains(label->geometry()))
        << label->text().toStdString();
    for (const QLabel* other : labels)
      EXPECT_FALSE(label->geometry().intersects(other->geometry()))
          << label->text().toStdString() << " / " << other->text().toStdString();
    labels.push_back(label);
  }
  EXPECT_EQ(form->PitchSlider()->TickValues(), std::vector<double>{1.0});
  EXPECT_EQ(form->SkewSlider()->TickValues(), std::vector<double>{0.5});
  // Transposition by octaves, grain length and density on logarithmic scales.
  form->PitchSlider()->SetValue1(1.0);
  EXPECT_NEAR(form->PitchSlider()->Positions().p1, 0.5, 1e-9);
  form->GDurSlider()->SetValue1(50.0);
  EXPECT_NEAR(form->GDurSlider()->Positions().p1, 0.5, 1e-9);
  form->DensitySlider()->SetValue(std::sqrt(0.1 * 2000.0));
  EXPECT_NEAR(form->DensitySlider()->Position(), 0.5, 1e-9);
  EXPECT_EQ(form->DensitySlider()->Min(), 0.1);
  EXPECT_EQ(form->DensitySlider()->Max(), 2000.0);
  EXPECT_EQ(form->DelaySlider()->Max(), 15000.0);
}

TEST_F(BubbleBlowerWindowTest, ControlsSetTheParameters) {
  KWRangeSlider* pan = form->PanSlider();
  const int travel = pan->height() - KWRangeSlider::kReserved;
  Drag(pan, Upper(pan), Upper(pan) + QPoint(0, travel / 2));
  EXPECT_FLOAT_EQ(bb->panning.Value().low, 0.0f);
  EXPECT_NEAR(bb->panning.Value().high, 1.0 - (travel / 2) / double(travel), 1e-6);
  EXPECT_EQ(form->PresetCaption(), "--");

  // Each range slider writes its own parameter.
  const std::pair<KWRangeSlider*, QSRangeProperty*> ranges[] = {
      {form->AmpSlider(), &bb->amplitude},        {form->DelaySlider(), &bb->inskip},
      {form->PitchSlider(), &bb->pitchScaler},    {form->GDurSlider(), &bb->grainDuration},
      {form->TrapFactSlider(), &bb->attDecRatio}, {form->SkewSlider(), &bb->grainSkew}};
  for (const auto& [slider, p] : ranges) {
    const FloatRange before = p->Value();
    emit slider->OnChange(slider->Min(), slider->Min() + (slider->Max() - slider->Min()) / 3);
    EXPECT_NE(p->Value().high, before.high) << slider->toolTip().toStdString();
    EXPECT_FLOAT_EQ(p->Value().low, static_cast<float>(slider->Min()));
  }

  Drag(form->DensitySlider(), {12, 60}, {12, 30});
  EXPECT_NEAR(bb->density.Value(), form->DensitySlider()->Value(), 1e-9);
  EXPECT_GT(bb->density.Value(), 10.0);
  Drag(form->QuantSlider(), {12, 120}, {12, 0});  // past the top: full pull
  EXPECT_EQ(bb->quantizeAmount.Value(), 1.0);

  const QStringList names = {"[none]", "1",    "1/2",  "1/2t",  "1/4",  "1/4t",
                             "1/8",    "1/8t", "1/16", "1/16t", "1/32", "1/32t"};
  const int ticks[] = {0, 96, 48, 32, 24, 16, 12, 8, 6, 4, 3, 2};
  ASSERT_EQ(form->QuantComboBox()->count(), names.size());
  for (int i = 0; i < names.size(); ++i) {
    EXPECT_EQ(form->QuantComboBox()->itemText(i), names[i]);
    form->QuantComboBox()->setCurrentIndex(i);
    EXPECT_EQ(bb->quantizeClocks.Value(), ticks[i]) << i;
  }

  KWNumberEdit* grains = form->MaxGrainsNumberEdit();
  EXPECT_EQ(grains->Min(), 1.0);
  EXPECT_EQ(grains->Max(), 20.0);
  EXPECT_TRUE(grains->IntegersOnly());
  grains->StepBy(-5, false);
  EXPECT_EQ(bb->maxGrains.Value(), 15);
}

TEST_F(BubbleBlowerWindowTest, RefreshingShowsEveryParameter) {
  TGBubbleBlower& g = *bb;
  g.amplitude.SetValue(FloatRange{0.2f, 0.7f});
  g.panning.SetValue(FloatRange{0.9f, 0.1f});  // upside down, as a hand-edited document may hold
  g.inskip.SetValue(FloatRange{250.0f, 9000.0f});
  g.pitchScaler.SetValue(FloatRange{0.5f, 2.0f});
  g.grainDuration.SetValue(FloatRange{8.0f, 250.0f});
  g.attDecRatio.SetValue(FloatRange{0.1f, 0.6f});
  g.grainSkew.SetValue(FloatRange{0.3f, 0.8f});
  g.density.SetValue(250.0);
  g.quantizeAmount.SetValue(0.75);
  g.quantizeClocks.SetValue(12);
  g.maxGrains.SetValue(9);
  form->UpdateControls();
  ExpectShows(form->AmpSlider(), g.amplitude, "Amp");
  EXPECT_NEAR(form->PanSlider()->Value0(), 0.1, 1e-6);
  EXPECT_NEAR(form->PanSlider()->Value1(), 0.9, 1e-6);
  ExpectShows(form->DelaySlider(), g.inskip, "Inskip");
  ExpectShows(form->PitchSlider(), g.pitchScaler, "Trans");
  ExpectShows(form->GDurSlider(), g.grainDuration, "GDur");
  ExpectShows(form->TrapFactSlider(), g.attDecRatio, "Shape");
  ExpectShows(form->SkewSlider(), g.grainSkew, "Skew");
  EXPECT_NEAR(form->DensitySlider()->Value(), 250.0, 1e-6);
  EXPECT_NEAR(form->QuantSlider()->Value(), 0.75, 1e-9);
  EXPECT_EQ(form->QuantComboBox()->currentText(), "1/8");
  EXPECT_EQ(form->MaxGrainsNumberEdit()->Value(), 9.0);
  // Refreshing changes nothing.
  EXPECT_FLOAT_EQ(g.panning.Value().low, 0.9f);
  EXPECT_EQ(g.quantizeClocks.Value(), 12);
}

TEST_F(BubbleBlowerWindowTest, TheFilePanelShowsTheNameAndMarksFilesThatCannotPlay) {
  test::TempDir dir;
  SoundFilePaths::Instance().SetDocumentDirectory(dir / "song.tgh");
  test::WriteLevel(dir / "voice.wav", 4000, 4410);
  std::ofstream(dir / "notes.wav") << "no sound in here";

  answer = QString::fromStdString(dir / "voice.wav");
  form->OpenButton()->click();
  EXPECT_EQ(bb->file.Value(), dir / "voice.wav");
  EXPECT_EQ(form->PresetCaption(), "--");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->FileRow().WatchingLoads(); }, 30000));
  EXPECT_EQ(form->FileNamePanel()->text(), "voice.wav");

  bb->file.SetValue("gone.wav");
  form->UpdateControls();
  EXPECT_EQ(form->FileNamePanel()->text(), "gone.wav !");
  bb->file.SetValue("notes.wav");
  form->UpdateControls();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->FileRow().WatchingLoads(); }, 30000));
  EXPECT_EQ(form->FileNamePanel()->text(), "notes.wav !");
}

TEST(GridNoteNamesTest, NamesEveryGridOfTheGranulators) {
  EXPECT_EQ(GridNoteName(0), "[none]");
  EXPECT_EQ(GridNoteName(96), "1");
  EXPECT_EQ(GridNoteName(24), "1/4");
  EXPECT_EQ(GridNoteName(16), "1/4t");
  EXPECT_EQ(GridNoteName(2), "1/32t");
  EXPECT_EQ(GridNoteName(5), "5");  // no note value
}

}  // namespace bubble_blower_window_test
}  // namespace tg
