#include "contraptions/effects/sspat/TSSpatForm.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QVBoxLayout>
#include <algorithm>

#include "contraptions/effects/sspat/TGSSpat.h"
#include "controls/KWDWSlider.h"
#include "controls/KWTrigSplineEdit.h"
#include "controls/StagePalette.h"
#include "forms/ContraptionWindowHost.h"
#include "framework/TGardeningContraption.h"

namespace tg {

namespace {

constexpr int kPanelSize = 158;
constexpr int kSSpatSliderWidth = 110;
constexpr int kSSpatSliderHeight = 22;

// A lowered frame holding one view that fills it.
QFrame* Lowered(QWidget* view, QWidget* parent) {
  auto* frame = new QFrame(parent);
  frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  frame->setLineWidth(1);
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->addWidget(view);
  view->setFixedSize(kPanelSize, kPanelSize);
  return frame;
}

// The editor shows exactly the paths the processor accepts.

}  // namespace

TSSpatForm::TSSpatForm(TGardeningContraption& contraption, QWidget* parent)
    : TContraptionForm(contraption, parent),
      processor_(static_cast<TGSSpat&>(contraption.Processor())),
      path_(TGSSpat::kPathCapacity),
      pathEdit_(new KWTrigSplineEdit(Body())),
      trajectory_(new SSpatTrajectoryView(path_, Body())),
      problem_(new QLabel(Body())),
      rate_(new KWDWSlider(Body())),
      scale_(new KWDWSlider(Body())),
      doppler_(new KWDWSlider(Body())),
      amp_(new KWDWSlider(Body())),
      separation_(new KWDWSlider(Body())),
      reverb_(new KWDWSlider(Body())) {
  setWindowTitle("SSpat");
  for (KWDWSlider* slider : {rate_, scale_, doppler_, amp_, separation_, reverb_}) {
    slider->SetVertical(false);
    slider->setFixedSize(kSSpatSliderWidth, kSSpatSliderHeight);
  }
  rate_->SetTickStyle(TickStyle::Auto);
  rate_->SetFrequency(1.0);
  TakeRange(rate_, "TrajectoryRate");
  TakeRange(scale_, "SpaceScale");
  TakeRange(doppler_, "DopplerAmount");
  TakeRange(amp_, "AmplitudeAmount");
  TakeRange(separation_, "SpeakerSeparation");
  TakeRange(reverb_, "ReverbAmount");

  auto* grid = new QGridLayout(Body());
  grid->setContentsMargins(6, 2, 6, 2);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(2);
  grid->addWidget(new QLabel("Path:", Body()), 0, 0);
  grid->addWidget(Lowered(pathEdit_, Body()), 1, 0, 6, 1, Qt::AlignTop);
  grid->addWidget(new QLabel("Trajectory:", Body()), 0, 1);
  grid->addWidget(Lowered(trajectory_, Body()), 1, 1, 6, 1, Qt::AlignTop);
  const std::pair<const char*, KWDWSlider*> rows[] = {
      {"Velocity:", rate_},  {"Scale:", scale_},           {"Doppler Amount:", doppler_},
      {"Amp Amount:", amp_}, {"Separation:", separation_}, {"Reverb Scaling:", reverb_}};
  int row = 1;
  for (const auto& [caption, slider] : rows) {
    grid->addWidget(new QLabel(caption, Body()), row, 2);
    grid->addWidget(slider, row, 3);
    ++row;
  }
  problem_->setStyleSheet(WarningStyle());
  grid->addWidget(problem_, 0, 2, 1, 2);

  connect(pathEdit_, &KWTrigSplineEdit::OnChange, this, [this] { PathEdited(); });
  connect(trajectory_, &SSpatTrajectoryView::Dragged, this,
          [this](SSpatTrajectoryView::DragMode mode, double dx, double dy) {
            TrajectoryDragged(mode, dx, dy);
          });
  connect(rate_, &KWDWSlider::OnChange, this,
          [this](double v) { Edit(processor_.trajectoryRate, v); });
  connect(scale_, &KWDWSlider::OnChange, this,
          [this](double v) { Edit(processor_.spaceScale, v); });
  connect(doppler_, &KWDWSlider::OnChange, this,
          [this](double v) { Edit(processor_.dopplerAmount, v); });
  connect(amp_, &KWDWSlider::OnChange, this,
          [this](double v) { Edit(processor_.amplitudeAmount, v); });
  connect(separation_, &KWDWSlider::OnChange, this,
          [this](double v) { Edit(processor_.speakerSeparation, v); });
  connect(reverb_, &KWDWSlider::OnChange, this,
          [this](double v) { Edit(processor_.reverbAmount, v); });
  PlaceDesigned(QSize(552, 193 + kHeaderHeight));
}

SSpatTrajectoryView::SSpatTrajectoryView(const QSTrigSplinePath& path, QWidget* parent)
    : QWidget(parent), path_(path) {}

SSpatTrajectoryView::DragMode SSpatTrajectoryView::ModeFor(Qt::KeyboardModifiers keys) {
  if (keys & Qt::ControlModifier) return DragMode::Rotate;
  if (keys & Qt::ShiftModifier) return DragMode::Scale;
  return DragMode::Move;
}

QPoint SSpatTrajectoryView::ToPixel(QSTrigSplinePath::Point p) const {
  const double w = width(), h = height();
  return {static_cast<int>(w / 2 + w / 2 * p.x), static_cast<int>(h / 2 - h / 2 * p.y)};
}

void SSpatTrajectoryView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  const int n = path_.PointCount();
  QPolygon line;
  const int steps = 200;  // n × 0.005 apart
  for (int s = 0; s < steps; ++s) line << ToPixel(path_.At(n * 0.005 * s));
  painter.setPen(QColor(0, 128, 128));
  painter.drawPolygon(line);

  const QPoint start = ToPixel(path_.At(path_.StartPosition()));
  painter.fillRect(QRect(start.x() - 3, start.y() - 3, 7, 7), Qt::red);

  const QPoint origin = ToPixel({path_.OriginX(), path_.OriginY()});
  painter.setPen(Qt::blue);
  painter.drawLine(origin.x() - 3, origin.y(), origin.x() + 4, origin.y());
  painter.drawLine(origin.x(), origin.y() - 3, origin.x(), origin.y() + 4);

  painter.setPen(Qt::white);
  const int baseline = height() - 18 + painter.fontMetrics().ascent();
  painter.drawText(4, baseline, "L");
  painter.drawText(width() - 11, baseline, "R");
}

void SSpatTrajectoryView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = true;
  last_ = event->position().toPoint();
}

void SSpatTrajectoryView::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  const QPoint at = event->position().toPoint();
  const double dx = (at.x() - last_.x()) * 2.0 / width();
  const double dy = (at.y() - last_.y()) * -2.0 / height();
  last_ = at;
  emit Dragged(ModeFor(event->modifiers()), dx, dy);
}

void SSpatTrajectoryView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragging_ = false;
}

void TSSpatForm::PathEdited() {
  const std::string text = pathEdit_->CommaText().toStdString();
  const QSTrigSplinePath::Parsed parsed = QSTrigSplinePath::Parse(text);
  if (!parsed.problem.empty()) {
    // The path in use stays, and the editor shows it again.
    ShowProblem(parsed.problem);
    pathEdit_->SetCommaText(QString::fromStdString(processor_.pathSegments.Value()));
    return;
  }
  ShowProblem({});
  path_.SetPoints(parsed.points);
  trajectory_->update();
  Edit(processor_.pathSegments, text);
}

void TSSpatForm::ShowProblem(const std::string& problem) {
  if (problem.empty()) {
    problem_->clear();
    problem_->setToolTip({});
    return;
  }
  QString text = QString::fromStdString(problem);
  text[0] = text[0].toUpper();
  problem_->setText(text + '.');
  problem_->setToolTip(QSTrigSplinePath::kTextHint);
}

void TSSpatForm::TrajectoryDragged(SSpatTrajectoryView::DragMode mode, double dx, double dy) {
  switch (mode) {
    case SSpatTrajectoryView::DragMode::Move:
      processor_.pathOriginX.SetValue(std::clamp(processor_.pathOriginX.Value() + dx, -1.0, 1.0));
      Edit(processor_.pathOriginY, std::clamp(processor_.pathOriginY.Value() + dy, -1.0, 1.0));
      break;
    case SSpatTrajectoryView::DragMode::Rotate: {
      Edit(processor_.pathRotation,
           TGSSpat::WrapRotation(processor_.pathRotation.Value() + dy * 6.283));
      break;
    }
    case SSpatTrajectoryView::DragMode::Scale:
      Edit(processor_.pathScale, std::clamp(processor_.pathScale.Value() + dy,
                                            TGSSpat::kMinPathScale, TGSSpat::kMaxPathScale));
      break;
  }
  ShowTransform();
}

void TSSpatForm::ShowTransform() {
  // As the processor takes them, whatever a document holds.
  path_.SetOrigin(static_cast<float>(processor_.pathOriginX.ValueWithin(-1.0, 1.0)),
                  static_cast<float>(processor_.pathOriginY.ValueWithin(-1.0, 1.0)));
  path_.SetRotation(TGSSpat::WrapRotation(processor_.pathRotation.Value()));
  path_.SetScale(processor_.pathScale.ValueWithin(TGSSpat::kMinPathScale, TGSSpat::kMaxPathScale));
  trajectory_->update();
}

void TSSpatForm::UpdateControls() {
  const QSignalBlocker a(rate_), b(scale_), c(doppler_), d(amp_), e(separation_), f(reverb_);
  const std::string& text = processor_.pathSegments.Value();
  pathEdit_->SetCommaText(QString::fromStdString(text));
  path_.SetText(text);
  // A path refused when read from a document or a preset says why here.
  ShowProblem(processor_.PathProblem());
  ShowTransform();
  rate_->SetValue(processor_.trajectoryRate.Value());
  scale_->SetValue(processor_.spaceScale.Value());
  doppler_->SetValue(processor_.dopplerAmount.Value());
  amp_->SetValue(processor_.amplitudeAmount.Value());
  separation_->SetValue(processor_.speakerSeparation.Value());
  reverb_->SetValue(processor_.reverbAmount.Value());
  TContraptionForm::UpdateControls();
}

void RegisterSSpatWindows(ContraptionWindowHost& host, const ContraptionDescriptor& type) {
  host.Register<TSSpatForm>(type);
}

}  // namespace tg
