#include <gtest/gtest.h>

#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QTest>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "contraptions/generators/additive10/TAdditive10Form.h"
#include "contraptions/generators/additive10/TGAdditive10.h"
#include "controls/KWDWSlider.h"
#include "framework/TGardeningContraption.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace additive10_window_test {

using test::Drag;

class RecordingMessages final : public UserMessages {
 public:
  void ShowMessage(std::string_view text, std::string_view, MessageIcon) override {
    shown.emplace_back(text);
  }
  std::vector<std::string> shown;
};

class Additive10WindowTest : public test::WindowHostFixture {
 protected:
  Additive10WindowTest() : kept_(engine->Host().messages) { engine->Host().messages = &messages; }
  ~Additive10WindowTest() override { engine->Host().messages = kept_; }

  void SetUp() override {
    TGardeningContraption& c = Make("10Harmonics");
    processor = &static_cast<TGAdditive10&>(c.Processor());
    form = Open<TAdditive10Form>(c);
    ASSERT_NE(form, nullptr);
  }
  // Replaces the field's whole text as a paste does.
  // Types a text over the field's and ends it with Enter.
  static void Type(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    edit->insert(text);
    QTest::keyClick(edit, Qt::Key_Return);
  }
  // Drags an upright fader from its bottom to its top: amplitude 1.
  static void PushUp(KWDWSlider* fader) {
    Drag(fader, {fader->width() / 2, fader->height() - 5}, {fader->width() / 2, -10});
  }
  // Whether the picture, as the window draws it, shows one period of the sum
  // of sines with these amplitudes: at each column the line's colour lies
  // where the scaled sum says, on black.
  bool ShowsPeriodOf(const std::vector<double>& amps) const {
    const QImage picture = form->WaveformPaintBox()->grab().toImage();
    const int w = picture.width();
    const int h = picture.height();
    std::vector<double> sum(static_cast<size_t>(w), 0.0);
    double peak = 0.0;
    for (int j = 0; j < w; ++j) {
      for (size_t k = 0; k < amps.size(); ++k) {
        sum[static_cast<size_t>(j)] +=
            amps[k] * std::sin(2.0 * std::numbers::pi * static_cast<double>(k + 1) * j / w);
      }
      peak = std::max(peak, sum[static_cast<size_t>(j)]);
    }
    const QColor line(0, 128, 128);
    for (int j = 1; j < w; j += 7) {
      const int y = static_cast<int>(
          std::floor(h / 2.0 - sum[static_cast<size_t>(j)] * (h / 2.0 - 2.0) / peak));
      if (picture.pixelColor(j, y) != line) {
        ADD_FAILURE() << "column " << j << " row " << y;
        return false;
      }
    }
    // Far from the line the picture is black.
    return picture.pixelColor(0, 0) == Qt::black && picture.pixelColor(w - 1, h - 1) == Qt::black;
  }

  RecordingMessages messages;
  TGAdditive10* processor = nullptr;
  TAdditive10Form* form = nullptr;

 private:
  UserMessages* kept_;
};

TEST_F(Additive10WindowTest, ANewWindowShowsItsControlsWithTheirRanges) {
  QStringList captions;
  for (const QLabel* label : form->findChildren<QLabel*>()) captions << label->text();
  for (const char* caption : {"Frequency", "Gain", "Waveform", "f1", "f2", "f5", "f9", "f10"})
    EXPECT_TRUE(captions.contains(caption)) << caption;
  const auto groups = form->findChildren<QGroupBox*>();
  ASSERT_EQ(groups.size(), 1);
  EXPECT_EQ(groups[0]->title(), "Harmonic Amplitudes");
  // Every caption fits where it is placed.
  for (const QLabel* label : form->findChildren<QLabel*>())
    EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
  EXPECT_GE(form->width(), 462);
  EXPECT_GE(form->height(), 173 + TContraptionForm::kHeaderHeight);

  EXPECT_EQ(form->FrequencySlider()->Min(), 20.0);
  EXPECT_EQ(form->FrequencySlider()->Max(), 1000.0);
  EXPECT_DOUBLE_EQ(form->FrequencySlider()->Value(), 100.0);
  EXPECT_EQ(form->FrequencyEdit()->text(), "100");
  EXPECT_FALSE(form->FrequencyTextIsGrey());
  EXPECT_EQ(form->GainSlider()->Max(), 1.0);
  EXPECT_EQ(form->GainSlider()->Value(), 0.0);
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(form->AmpSlider(k)->Max(), 1.0);
    EXPECT_EQ(form->AmpSlider(k)->Value(), k == 0 ? 1.0 : 0.0);
    EXPECT_EQ(form->AmpSlider(k)->property("tag").toInt(), k + 1);
  }
  EXPECT_TRUE(ShowsPeriodOf({1.0}));
}

TEST_F(Additive10WindowTest, TheSliderAndTheTextSetTheFundamental) {
  Drag(form->FrequencySlider(), {10, 12}, {60, 12});
  const double slid = processor->fundamentalFrequency.Value();
  EXPECT_GT(slid, 100.0);
  EXPECT_DOUBLE_EQ(slid, form->FrequencySlider()->Value());
  EXPECT_EQ(form->FrequencyEdit()->text(), TAdditive10Form::FrequencyText(slid));
  EXPECT_EQ(form->PresetCaption(), "--");

  QLineEdit* edit = form->FrequencyEdit();
  edit->selectAll();
  QTest::keyClicks(edit, "4");  // not yet: the typing goes on
  EXPECT_DOUBLE_EQ(processor->fundamentalFrequency.Value(), slid);
  Type(edit, "2000");  // beyond the range: greyed, and the sound stays
  EXPECT_TRUE(form->FrequencyTextIsGrey());
  EXPECT_DOUBLE_EQ(processor->fundamentalFrequency.Value(), slid);
  EXPECT_DOUBLE_EQ(form->FrequencySlider()->Value(), slid);
  Type(edit, "440");
  EXPECT_FALSE(form->FrequencyTextIsGrey());
  EXPECT_EQ(processor->fundamentalFrequency.Value(), 440.0);
  EXPECT_NEAR(form->FrequencySlider()->Value(), 440.0, 1e-9);
  Type(edit, "19.5");
  EXPECT_TRUE(form->FrequencyTextIsGrey());
  EXPECT_EQ(processor->fundamentalFrequency.Value(), 440.0);
  Type(edit, "20");
  EXPECT_EQ(processor->fundamentalFrequency.Value(), 20.0);
  EXPECT_TRUE(messages.shown.empty());

  Type(edit, "4x1");
  EXPECT_EQ(processor->fundamentalFrequency.Value(), 20.0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0], "'4x1' is not a valid floating point value.");
  Type(edit, "");
  EXPECT_EQ(processor->fundamentalFrequency.Value(), 20.0);
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(Additive10WindowTest, GainAndAmplitudeSlidersSetTheirParametersAndRedrawTheWaveform) {
  Drag(form->GainSlider(), {6, 12}, {106, 12});
  EXPECT_GT(processor->gain.Value(), 0.4);
  EXPECT_DOUBLE_EQ(processor->gain.Value(), form->GainSlider()->Value());

  PushUp(form->AmpSlider(2));
  EXPECT_EQ(processor->amp[2].Value(), 1.0);
  for (size_t k : {0u, 1u, 3u, 9u}) EXPECT_EQ(processor->amp[k].Value(), k == 0 ? 1.0 : 0.0);
  EXPECT_TRUE(ShowsPeriodOf({1.0, 0.0, 1.0}));

  Drag(form->AmpSlider(0), {8, 10}, {8, 70});  // part of the way down
  const double first = processor->amp[0].Value();
  EXPECT_GT(first, 0.1);
  EXPECT_LT(first, 0.9);
  EXPECT_DOUBLE_EQ(first, form->AmpSlider(0)->Value());
  EXPECT_TRUE(ShowsPeriodOf({first, 0.0, 1.0}));
}

TEST_F(Additive10WindowTest, RefreshingShowsParametersSetElsewhere) {
  processor->fundamentalFrequency.SetValue(261.5);
  processor->gain.SetValue(0.25);
  for (size_t k = 0; k < 10; ++k) processor->amp[k].SetValue(1.0 / static_cast<double>(k + 1));
  form->UpdateControls();
  EXPECT_EQ(form->FrequencyEdit()->text(), "261.5");
  EXPECT_FALSE(form->FrequencyTextIsGrey());
  EXPECT_NEAR(form->FrequencySlider()->Value(), 261.5, 1e-9);
  EXPECT_NEAR(form->GainSlider()->Value(), 0.25, 1e-9);
  std::vector<double> amps;
  for (int k = 0; k < 10; ++k) {
    amps.push_back(1.0 / (k + 1));
    EXPECT_NEAR(form->AmpSlider(k)->Value(), amps.back(), 1e-9) << k;
  }
  EXPECT_TRUE(ShowsPeriodOf(amps));  // a sawtooth's first ten harmonics

  // Silence draws a flat line through the middle.
  for (auto& a : processor->amp) a.SetValue(0.0);
  form->UpdateControls();
  const QImage flat = form->WaveformPaintBox()->grab().toImage();
  EXPECT_EQ(flat.pixelColor(flat.width() / 3, flat.height() / 2), QColor(0, 128, 128));
  EXPECT_EQ(flat.pixelColor(flat.width() / 3, flat.height() / 4), Qt::black);

  // A hand-edited frequency beyond the range shows greyed, the slider at its end.
  processor->fundamentalFrequency.SetValue(5000.0);
  form->UpdateControls();
  EXPECT_EQ(form->FrequencyEdit()->text(), "5000");
  EXPECT_TRUE(form->FrequencyTextIsGrey());
  EXPECT_EQ(form->FrequencySlider()->Value(), 1000.0);
  EXPECT_EQ(processor->fundamentalFrequency.Value(), 5000.0);  // showing is not editing
}

}  // namespace additive10_window_test
}  // namespace tg
