#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tg {

// The program's save-file question: the default suffix is added before the
// user is asked about an existing file, so the question is about the file
// that will really be written (typing "song" never silently replaces
// "song.tgh"); "No" shows the dialog again. The dialog never starts on a
// pseudo file system, where it could block for ever. UI thread.
class SaveFileDialog {
 public:
  // replaceQuestion: the question about an existing file, "%1" its name.
  SaveFileDialog(QString caption, QString filter, QString suffix,
                 QString replaceQuestion = "%1 already exists.\nDo you want to replace it?");

  // The chosen name with its suffix; empty when cancelled.
  QString Ask(QWidget* owner, const QString& proposed) const;

  // The name as it will be written: with the suffix when it has none.
  static QString WithSuffix(const QString& name, const QString& suffix);

  // The dialog itself (without a question of its own about existing files)
  // and the question about an existing file; replaceable for tests.
  std::function<QString(QWidget* owner, const QString& start)> choose;
  std::function<bool(QWidget* owner, const QString& existing)> confirmReplace;

 private:
  QString caption_, filter_, suffix_, replaceQuestion_;
};

}  // namespace tg
