#pragma once

#include <QLineEdit>
#include <QWidget>

#include "controls/NumberEditLogic.h"

namespace tg {

// A field for exact numbers: typing commits at once (unreadable or clamped
// input shows a sign), the arrow keys and the small button beside it step the
// value, with steps derived from the range unless a fixed one is set.
class KWNumberEdit final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 21;
  explicit KWNumberEdit(QWidget* parent = nullptr);
  QSize sizeHint() const override { return {80, kHeight}; }

  double Min() const { return min_; }
  double Max() const { return max_; }
  void SetMin(double min);
  void SetMax(double max);
  double Value() const { return value_; }
  // Clamps to the range; tells nobody.
  void SetValue(double value);
  double Increment() const { return increment_; }
  void SetIncrement(double increment);
  bool AutoIncrement() const { return autoIncrement_; }
  void SetAutoIncrement(bool automatic);
  bool IntegersOnly() const { return integersOnly_; }
  void SetIntegersOnly(bool integers);
  numberedit::Status InputStatus() const { return status_; }
  // Steps n times (Ctrl: a tenth of a step each).
  void StepBy(int n, bool fine);
  QString Text() const { return edit_->text(); }
  QLineEdit* Editor() const { return edit_; }
  // The up/down button's rectangle.
  QRect ButtonRect() const { return {width() - 13, 0, 13, height()}; }

 signals:
  void OnChange(double value);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Redisplay();
  void TextEdited(const QString& text);
  int Decimals() const { return autoIncrement_ ? autoStep_.decimals : incrementDecimals_; }
  double StepSize() const { return autoIncrement_ ? autoStep_.step : increment_; }

  QLineEdit* edit_;
  double min_ = 0.0, max_ = 100.0, value_ = 0.0;
  double increment_ = 1.0;
  int incrementDecimals_ = 1;
  bool autoIncrement_ = true;
  bool integersOnly_ = false;
  numberedit::AutoStep autoStep_;
  numberedit::Status status_ = numberedit::kValid;
  bool buttonDown_ = false;
  int lastY_ = 0;
};

}  // namespace tg
