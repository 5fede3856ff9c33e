#pragma once

#include <QPointer>
#include <QWidget>

class QTimer;

namespace tg {

// The value of a knob or slider drawn beside it while it moves ("440 Hz"),
// or a short message about a typed value. It lives on the control's window,
// so it is not clipped to the control, and goes by itself after a moment
// unless it is held (a drag in progress).
class KWValueTag final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kShownMs = 1200;

  // Shows text beside control through the tag kept in tag, made on first use.
  static void Show(QPointer<KWValueTag>& tag, QWidget* control, const QString& text, bool held,
                   bool warning = false);
  static void Release(const QPointer<KWValueTag>& tag);
  // The text being shown, empty when none is.
  static QString Shown(const QPointer<KWValueTag>& tag);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  explicit KWValueTag(QWidget* window);
  void Place(QWidget* control);

  QTimer* hide_;
  QString text_;
  bool warning_ = false;
};

}  // namespace tg
