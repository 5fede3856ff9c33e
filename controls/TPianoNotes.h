#pragma once

#include <QDialog>

class QLabel;

namespace tg {

class KWPianoKeyboard;

// "Select A Note...": a small window with a keyboard; releasing the mouse
// over a key picks it, Cancel or leaving the window picks nothing (−1).
class TPianoNotes final : public QDialog {
  Q_OBJECT

 public:
  explicit TPianoNotes(QWidget* parent = nullptr);
  // Shows the picker centred on a screen point, fully on screen, and answers
  // the chosen key or −1.
  static int Pick(QPoint screenPoint, int currentKey, int bottomKey, int keyRange,
                  QWidget* parent = nullptr);
  // Prepares the picker as Pick does, without showing it.
  void Prepare(QPoint screenPoint, int currentKey, int bottomKey, int keyRange);
  int Result() const { return result_; }
  KWPianoKeyboard* Keyboard() const { return keyboard_; }
  QString NoteText() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The first answer holds: hiding the window deactivates it while it still
  // counts as visible, which must not cancel a key just picked.
  void Finish(int key);

  KWPianoKeyboard* keyboard_;
  QLabel* name_;
  int result_ = -1;
  bool finished_ = false;
};

}  // namespace tg
