#pragma once

#include <QWidget>

#include "controls/TrigSplinePath.h"

namespace tg {

// Draws and edits the closed path a sound travels around the listener: drag
// a point, click on the curve to add one, Ctrl-click to delete, Shift-click to
// choose the start, drag elsewhere to move the whole path.
class KWTrigSplineEdit final : public QWidget {
  Q_OBJECT

 public:
  enum class EditMode { Edit, Move };
  explicit KWTrigSplineEdit(QWidget* parent = nullptr);
  QSize sizeHint() const override { return {160, 160}; }

  QString CommaText() const { return QString::fromStdString(path_.CommaText()); }
  void SetCommaText(const QString& text);
  int GetSegmentCount() const { return path_.SegmentCount(); }
  EditMode Mode() const { return mode_; }
  const TrigSplinePath& Path() const { return path_; }

 signals:
  void OnChange();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  TrigSplinePath path_;
  EditMode mode_ = EditMode::Move;
  int grabbed_ = -1;
  bool dragging_ = false;
  QPoint last_;
};

}  // namespace tg
