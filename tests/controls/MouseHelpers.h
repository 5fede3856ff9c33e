#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace tg::test {

// Sends one mouse event with the buttons and modifiers given (QTest's moves
// carry no modifiers).
inline void Mouse(QWidget* w, QEvent::Type type, QPoint at,
                  Qt::MouseButtons buttons = Qt::LeftButton,
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, buttons, modifiers);
  QApplication::sendEvent(w, &event);
}

// Presses at from, moves to to (in steps of one pixel), releases there.
inline void Drag(QWidget* w, QPoint from, QPoint to,
                 Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  Mouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, modifiers);
  QPoint at = from;
  while (at != to) {
    at += QPoint((to.x() > at.x()) - (to.x() < at.x()), (to.y() > at.y()) - (to.y() < at.y()));
    Mouse(w, QEvent::MouseMove, at, Qt::LeftButton, modifiers);
  }
  Mouse(w, QEvent::MouseButtonRelease, to, Qt::NoButton, modifiers);
}

}  // namespace tg::test
