#pragma once

#include <QWidget>
#include <string>

#include "contraptions/effects/sspat/QSTrigSplinePath.h"
#include "forms/TContraptionForm.h"

class QLabel;

namespace tg {

class KWDWSlider;
class KWTrigSplineEdit;
class TGSSpat;

// The path as the source travels it, seen from above with the loudspeakers
// at the bottom. Dragging moves it; with Ctrl it turns, with Shift it grows.
class SSpatTrajectoryView final : public QWidget {
  Q_OBJECT

 public:
  enum class DragMode { Move, Rotate, Scale };
  SSpatTrajectoryView(const QSTrigSplinePath& path, QWidget* parent);

  static DragMode ModeFor(Qt::KeyboardModifiers keys);

 signals:
  // A drag step in path units (y up), in the mode the keys held chose.
  void Dragged(tg::SSpatTrajectoryView::DragMode mode, double dx, double dy);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QPoint ToPixel(QSTrigSplinePath::Point p) const;

  const QSTrigSplinePath& path_;
  bool dragging_ = false;
  QPoint last_;
};

// "SSpat": the path drawn as control points, the path as travelled (moved,
// turned and scaled by dragging), and the speed and space of the movement.
class TSSpatForm final : public TContraptionForm {
  Q_OBJECT

 public:
  TSSpatForm(TGardeningContraption& contraption, QWidget* parent);
  void UpdateControls() override;

  KWTrigSplineEdit* PathEdit() const { return pathEdit_; }
  SSpatTrajectoryView* TrajectoryView() const { return trajectory_; }
  const QSTrigSplinePath& ShownPath() const { return path_; }
  QLabel* ProblemLabel() const { return problem_; }
  KWDWSlider* RateSlider() const { return rate_; }
  KWDWSlider* ScaleSlider() const { return scale_; }
  KWDWSlider* DopplerSlider() const { return doppler_; }
  KWDWSlider* AmpSlider() const { return amp_; }
  KWDWSlider* SeparationSlider() const { return separation_; }
  KWDWSlider* ReverbSlider() const { return reverb_; }

 private:
  void PathEdited();
  // A refused path's reason as visible text (empty clears it).
  void ShowProblem(const std::string& problem);
  void TrajectoryDragged(SSpatTrajectoryView::DragMode mode, double dx, double dy);
  void ShowTransform();

  TGSSpat& processor_;
  QSTrigSplinePath path_;
  KWTrigSplineEdit* pathEdit_;
  SSpatTrajectoryView* trajectory_;
  QLabel* problem_;
  KWDWSlider* rate_;
  KWDWSlider* scale_;
  KWDWSlider* doppler_;
  KWDWSlider* amp_;
  KWDWSlider* separation_;
  KWDWSlider* reverb_;
};

}  // namespace tg
