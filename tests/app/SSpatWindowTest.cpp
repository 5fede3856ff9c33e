#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QStringList>
#include <cmath>
#include <string>

#include "contraptions/effects/sspat/TGSSpat.h"
#include "contraptions/effects/sspat/TSSpatForm.h"
#include "controls/KWDWSlider.h"
#include "controls/KWTrigSplineEdit.h"
#include "controls/TrigSplinePath.h"
#include "framework/TGardeningContraption.h"
#include "properties/NumberText.h"
#include "tests/controls/MouseHelpers.h"
#include "tests/support/WindowHostFixture.h"

namespace tg {
namespace sspat_window_test {

using test::Drag;
using test::Mouse;

class SSpatWindowTest : public test::WindowHostFixture {
 protected:
  void SetUp() override {
    contraption_ = &Make("SSpat");
    spat_ = &static_cast<TGSSpat&>(contraption_->Processor());
    form_ = Open<TSSpatForm>(*contraption_);
    ASSERT_NE(form_, nullptr);
    // The views learn their size when shown.
    pane.show();
    QCoreApplication::processEvents();
  }
  TGardeningContraption* contraption_ = nullptr;
  TGSSpat* spat_ = nullptr;
  TSSpatForm* form_ = nullptr;
};

TEST_F(SSpatWindowTest, ShowsEveryControlWithItsCaptionAndRange) {
  QStringList texts;
  for (const QLabel* label : form_->findChildren<QLabel*>()) texts << label->text();
  for (const char* caption : {"Path:", "Trajectory:", "Velocity:", "Scale:", "Doppler Amount:",
                              "Amp Amount:", "Separation:", "Reverb Scaling:"}) {
    EXPECT_TRUE(texts.contains(caption)) << caption;
  }
  const std::pair<KWDWSlider*, std::pair<double, double>> ranges[] = {
      {form_->RateSlider(), {-3.0, 3.0}},       {form_->ScaleSlider(), {1.0, 20.0}},
      {form_->DopplerSlider(), {0.0, 2.0}},     {form_->AmpSlider(), {0.0, 1.0}},
      {form_->SeparationSlider(), {1.0, 10.0}}, {form_->ReverbSlider(), {0.5, 2.0}}};
  for (const auto& [slider, range] : ranges) {
    EXPECT_EQ(slider->Min(), range.first);
    EXPECT_EQ(slider->Max(), range.second);
  }
  EXPECT_EQ(form_->PathEdit()->CommaText().toStdString(), TGSSpat::kDefaultPath);
  EXPECT_NEAR(form_->RateSlider()->Value(), 0.5, 1e-9);
}

TEST_F(SSpatWindowTest, DraggingAPointSetsThePathText) {
  const TrigSplinePath& shown = form_->PathEdit()->Path();
  const QPoint top(shown.PixelX(0.0f), shown.PixelY(0.5f));
  Drag(form_->PathEdit(), top, top + QPoint(20, 0));
  const std::string text = spat_->pathSegments.Value();
  EXPECT_EQ(text, form_->PathEdit()->CommaText().toStdString());
  EXPECT_NE(text, TGSSpat::kDefaultPath);
  EXPECT_NEAR(numbertext::Parse(text.substr(0, text.find(','))).value_or(0.0),
              20.0 / ((form_->PathEdit()->width() - 3) / 2.0), 0.01);
  EXPECT_EQ(spat_->PathProblem(), "");
  EXPECT_EQ(form_->PresetCaption(), "--");
  EXPECT_EQ(form_->ShownPath().PointCount(), 3);
}

// The middle of the pure red marks in a view's picture, in pixels.
QPointF RedMark(QWidget* view) {
  const QImage picture = view->grab().toImage();
  double x = 0.0, y = 0.0;
  int count = 0;
  for (int py = 0; py < picture.height(); ++py) {
    for (int px = 0; px < picture.width(); ++px) {
      if (picture.pixelColor(px, py) == QColor(255, 0, 0)) {
        x += px;
        y += py;
        ++count;
      }
    }
  }
  return count > 0 ? QPointF(x / count, y / count) : QPointF(-1e6, -1e6);
}

TEST_F(SSpatWindowTest, ThePathEditorAndTheTrajectoryMarkTheSameStart) {
  KWTrigSplineEdit* edit = form_->PathEdit();
  SSpatTrajectoryView* view = form_->TrajectoryView();
  // Shift-clicking the second point makes it the start.
  for (const bool moved : {false, true}) {
    if (moved) {
      const TrigSplinePath& shown = edit->Path();
      const QPoint second(shown.PixelX(-0.5f), shown.PixelY(-0.2f));
      Mouse(edit, QEvent::MouseButtonPress, second, Qt::LeftButton, Qt::ShiftModifier);
      Mouse(edit, QEvent::MouseButtonRelease, second, Qt::NoButton, Qt::ShiftModifier);
      ASSERT_EQ(spat_->pathSegments.Value().rfind("-0.5,-0.2", 0), 0u)
          << spat_->pathSegments.Value();
    }
    const float x = moved ? -0.5f : 0.0f, y = moved ? -0.2f : 0.5f;
    const QPointF inEdit = RedMark(edit);
    EXPECT_NEAR(inEdit.x(), edit->Path().PixelX(x) + 0.5, 2.0);
    EXPECT_NEAR(inEdit.y(), edit->Path().PixelY(y) + 0.5, 2.0);
    const QPointF inView = RedMark(view);
    EXPECT_NEAR(inView.x(), view->width() / 2.0 * (1.0 + x), 2.0);
    EXPECT_NEAR(inView.y(), view->height() / 2.0 * (1.0 - y), 2.0);
  }
}

TEST_F(SSpatWindowTest, AHundredAndFirstPointIsRefusedAndThePathStays) {
  // 98 points huddled in a corner and two far away: the long segments have
  // room to click on.
  std::string text;
  for (int i = 0; i < 98; ++i)
    text.append("-0.8,").append(numbertext::Fixed(-0.8 + 0.001 * i, 6)).append(", ");
  text.append("0.8,0.8, -0.8,0.8");
  spat_->pathSegments.SetValue(text);
  form_->UpdateControls();
  ASSERT_EQ(form_->PathEdit()->GetSegmentCount(), 100);
  const std::string before = spat_->pathSegments.Value();

  const TrigSplinePath& shown = form_->PathEdit()->Path();
  QPoint free(-1, -1);
  for (int s = 0; s < shown.SegmentCount() && free.x() < 0; ++s) {
    const auto p = shown.CurvePoint(s, 128);
    const QPoint at(shown.PixelX(p.x), shown.PixelY(p.y));
    if (shown.HitPoint(at.x(), at.y()) < 0) free = at;
  }
  ASSERT_GE(free.x(), 0);
  Drag(form_->PathEdit(), free, free);
  EXPECT_EQ(form_->ProblemLabel()->text(), "Too many points (at most 100).");
  EXPECT_TRUE(form_->ProblemLabel()->isVisible());
  EXPECT_EQ(form_->ProblemLabel()->toolTip(), QSTrigSplinePath::kTextHint);
  EXPECT_LE(form_->ProblemLabel()->sizeHint().width(), form_->ProblemLabel()->width());
  EXPECT_EQ(spat_->pathSegments.Value(), before);
  EXPECT_EQ(form_->PathEdit()->GetSegmentCount(), 100);

  // The next good edit clears the note.
  form_->UpdateControls();
  EXPECT_TRUE(form_->ProblemLabel()->text().isEmpty());
}

TEST_F(SSpatWindowTest, TheEditorShowsExactlyThePathsTheProcessorTakes) {
  std::string hundred, hundredAndOne;
  for (int i = 0; i < 101; ++i) {
    std::string pair = numbertext::Fixed(0.9 * std::cos(i * 0.0622), 6);
    pair.append(",").append(numbertext::Fixed(0.9 * std::sin(i * 0.0622), 6));
    if (i < 100) hundred.append(i > 0 ? ", " : "").append(pair);
    hundredAndOne.append(i > 0 ? ", " : "").append(pair);
  }
  for (const std::string& text :
       {std::string("0.1,0.1, 0.2,0.7, -0.6,0.3"), std::string("0.98,-0.98, -0.98,0.98, 0,0"),
        hundred, std::string("0.3,0.3"), std::string("0.3,0.3, -0.3,0.3"),
        std::string("0,0.99, -0.5,-0.2, 0.5,-0.2"), std::string("0,-1.5, -0.5,-0.2, 0.5,-0.2"),
        std::string("0,1e40, -0.5,-0.2, 0.5,-0.2"), std::string("0,0.5, x,1, 0,0")}) {
    TrigSplinePath editor;
    EXPECT_EQ(editor.SetCommaText(text), QSTrigSplinePath::Parse(text).problem.empty()) << text;
  }
  // More points the editor could hold, but an edit to them is refused (above).
  EXPECT_EQ(QSTrigSplinePath::Parse(hundredAndOne).problem, "too many points (at most 100)");

  // A path refused on the way in (a document, a preset) keeps the one shown,
  // and the window says why in plain sight.
  spat_->pathSegments.SetValue("0.1,0.1, 0.2,0.7, -0.6,0.3");
  form_->UpdateControls();
  spat_->pathSegments.SetValue("0.3,0.3, -0.3,0.99");
  form_->UpdateControls();
  EXPECT_EQ(form_->PathEdit()->CommaText(), "0.1,0.1, 0.2,0.7, -0.6,0.3");
  EXPECT_EQ(form_->ShownPath().PointCount(), 3);
  EXPECT_EQ(form_->ProblemLabel()->text(), "Too few points (at least 3).");
  EXPECT_TRUE(form_->ProblemLabel()->isVisible());
  EXPECT_LE(form_->ProblemLabel()->sizeHint().width(), form_->ProblemLabel()->width());
  for (const char* bad : {"0,0.99, -0.5,-0.2, 0.5,-0.2", "0,0, junk"}) {
    spat_->pathSegments.SetValue(bad);
    form_->UpdateControls();
    EXPECT_LE(form_->ProblemLabel()->sizeHint().width(), form_->ProblemLabel()->width()) << bad;
  }
  spat_->pathSegments.SetValue(std::string(5000, ' '));
  form_->UpdateControls();
  EXPECT_EQ(form_->ProblemLabel()->text(), "Too long (at most 4094 characters).");
  EXPECT_LE(form_->ProblemLabel()->sizeHint().width(), form_->ProblemLabel()->width());
}

TEST_F(SSpatWindowTest, TrajectoryDragsMoveTurnAndScaleThePath) {
  SSpatTrajectoryView* view = form_->TrajectoryView();
  const int w = view->width(), h = view->height();
  const QPoint centre(w / 2, h / 2);
  Drag(view, centre, centre + QPoint(20, -10));
  EXPECT_NEAR(spat_->pathOriginX.Value(), 20 * 2.0 / w, 1e-9);
  EXPECT_NEAR(spat_->pathOriginY.Value(), 10 * 2.0 / h, 1e-9);
  EXPECT_NEAR(form_->ShownPath().OriginX(), 20 * 2.0 / w, 1e-6);
  Drag(view, centre, centre + QPoint(3 * w, 0));  // kept within the view
  EXPECT_DOUBLE_EQ(spat_->pathOriginX.Value(), 1.0);

  // One Ctrl step the full height up turns by two rounds; the wrap leaves one.
  Mouse(view, QEvent::MouseButtonPress, {centre.x(), h}, Qt::LeftButton, Qt::ControlModifier);
  Mouse(view, QEvent::MouseMove, {centre.x(), 0}, Qt::LeftButton, Qt::ControlModifier);
  Mouse(view, QEvent::MouseButtonRelease, {centre.x(), 0}, Qt::NoButton, Qt::ControlModifier);
  EXPECT_NEAR(spat_->pathRotation.Value(), 2 * 6.283 - 6.2831852, 1e-9);
  EXPECT_NEAR(form_->ShownPath().Rotation(), spat_->pathRotation.Value(), 1e-9);
  // A document's turn of any size is shown, and dragged on, as the same turn.
  spat_->pathRotation.SetValue(1e6);
  form_->UpdateControls();
  EXPECT_NEAR(form_->ShownPath().Rotation(), std::fmod(1e6, 6.2831852), 1e-6);
  Drag(view, centre, centre + QPoint(0, -1), Qt::ControlModifier);
  EXPECT_LT(std::abs(spat_->pathRotation.Value()), 6.2831852);

  // Shift, even when pressed only during the drag, scales.
  Mouse(view, QEvent::MouseButtonPress, centre);
  Mouse(view, QEvent::MouseMove, centre + QPoint(0, -40), Qt::LeftButton, Qt::ShiftModifier);
  Mouse(view, QEvent::MouseButtonRelease, centre + QPoint(0, -40), Qt::NoButton);
  EXPECT_NEAR(spat_->pathScale.Value(), 1.0 + 40 * 2.0 / h, 1e-9);
  Drag(view, centre, centre + QPoint(0, 2 * h), Qt::ShiftModifier);
  EXPECT_DOUBLE_EQ(spat_->pathScale.Value(), 0.1);
  EXPECT_DOUBLE_EQ(spat_->pathOriginX.Value(), 1.0);  // untouched by turning and scaling
}

TEST_F(SSpatWindowTest, UpdateControlsShowsTheParameters) {
  spat_->pathSegments.SetValue("0.1,0.1, 0.2,0.7, -0.6,0.3, -0.2,-0.4");
  spat_->pathOriginX.SetValue(-0.25);
  spat_->pathRotation.SetValue(1.0);
  spat_->pathScale.SetValue(2.0);
  spat_->trajectoryRate.SetValue(-1.5);
  spat_->spaceScale.SetValue(12.0);
  spat_->dopplerAmount.SetValue(0.4);
  spat_->amplitudeAmount.SetValue(0.3);
  spat_->speakerSeparation.SetValue(4.0);
  spat_->reverbAmount.SetValue(1.75);
  form_->UpdateControls();
  EXPECT_EQ(form_->PathEdit()->CommaText(), "0.1,0.1, 0.2,0.7, -0.6,0.3, -0.2,-0.4");
  EXPECT_EQ(form_->ShownPath().PointCount(), 4);
  EXPECT_FLOAT_EQ(form_->ShownPath().OriginX(), -0.25f);
  EXPECT_DOUBLE_EQ(form_->ShownPath().Rotation(), 1.0);
  EXPECT_DOUBLE_EQ(form_->ShownPath().Scale(), 2.0);
  EXPECT_NEAR(form_->RateSlider()->Value(), -1.5, 1e-9);
  EXPECT_NEAR(form_->ScaleSlider()->Value(), 12.0, 1e-9);
  EXPECT_NEAR(form_->DopplerSlider()->Value(), 0.4, 1e-9);
  EXPECT_NEAR(form_->AmpSlider()->Value(), 0.3, 1e-9);
  EXPECT_NEAR(form_->SeparationSlider()->Value(), 4.0, 1e-9);
  EXPECT_NEAR(form_->ReverbSlider()->Value(), 1.75, 1e-9);

  Drag(form_->ReverbSlider(), {60, 11}, {20, 11});
  EXPECT_DOUBLE_EQ(spat_->reverbAmount.Value(), form_->ReverbSlider()->Value());
  EXPECT_LT(spat_->reverbAmount.Value(), 1.75);
}

}  // namespace sspat_window_test
}  // namespace tg
