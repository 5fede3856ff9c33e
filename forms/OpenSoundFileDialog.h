#pragma once

#include <QString>
#include <functional>
#include <string_view>

class QWidget;

namespace tg {

// The program's question for a sound file to play ("Select a Soundfile..."):
// it starts on the file a slot already plays, else where the last sound file
// was chosen, else in the document's or the program's directory, and never on
// a pseudo file system. The chosen file's directory is remembered for the
// next question; the name comes back as documents store it (relative where it
// can be). UI thread.
//
// The closing click needs no care here: Qt hands a button's release to the
// window that had its press, so a double click in the dialog never reaches
// the window beneath it.
class OpenSoundFileDialog {
 public:
  OpenSoundFileDialog();

  static QString Title() { return "Select a Soundfile..."; }
  // Wave files first, then everything the sound-file reader reads.
  static QString Filter();
  // Where the dialog starts for a slot that holds storedName (empty: none).
  static QString StartPath(std::string_view storedName);

  // The name to store for the chosen file; empty when cancelled.
  QString Ask(QWidget* owner, std::string_view storedName) const;

  // The dialog itself, answering an existing file's full name or empty;
  // replaceable for tests.
  std::function<QString(QWidget* owner, const QString& start)> choose;
};

}  // namespace tg
