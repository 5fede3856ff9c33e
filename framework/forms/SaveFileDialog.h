#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tg {

// The save-file question of the program's dialogs: the default suffix is
// added before anyone is asked about replacing a file, so typing "song"
// never silently replaces "song.tgh"; and a dialog never starts on a pseudo
// file system, where it could block for ever. UI thread.
class SaveFileDialog {
 public:
  SaveFileDialog(QString caption, QString filter, QString suffix);

  // The chosen name with the suffix, the user having agreed to replace a file
  // that exists; empty when cancelled.
  QString Ask(QWidget* owner, const QString& proposed) const;

  // The name as it will be written: with the suffix when it has none.
  static QString WithSuffix(const QString& name, const QString& suffix);

  // The two questions, replaceable for tests: the dialog itself (which asks
  // about names it returns unchanged) and the question about a name that
  // only the suffix made.
  std::function<QString(QWidget* owner, const QString& proposed)> choose;
  std::function<bool(QWidget* owner, const QString& existing)> confirmReplace;

 private:
  QString caption_, filter_, suffix_;
};

}  // namespace tg
