#include "app/mainwindow/TGDocumentQueries.h"

#include <QFileDialog>
#include <QMessageBox>

#include "files/SoundFilePaths.h"
#include "forms/SaveFileDialog.h"

namespace tg {

bool TGDocumentQueries::AskSaveChanges(bool& cancelled) {
  const auto answer = QMessageBox::warning(
      owner_, "Tonegarden", "The current document has changed.\n\nDo you want to save the changes?",
      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
  cancelled = answer == QMessageBox::Cancel;
  return answer == QMessageBox::Yes;
}

bool TGDocumentQueries::AskRevert() {
  return QMessageBox::warning(owner_, "Tonegarden",
                              "Reverting the document will discard all changes since the last "
                              "save operation\n\nAre you sure you want to revert?",
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) == QMessageBox::Yes;
}

bool TGDocumentQueries::AskRestore(const std::string& question) {
  return QMessageBox::question(owner_, "Tonegarden", QString::fromStdString(question),
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes;
}

std::string TGDocumentQueries::AskOpenFileName() {
  const QString dir = QString::fromStdString(
      SoundFilePaths::Instance().DialogStartPath(SoundFilePaths::Instance().DocumentDirectory()));
  const QString name = QFileDialog::getOpenFileName(owner_, "Open", dir,
                                                    "Tonegarden document (*.tgh);;All files (*)");
  return name.toStdString();
}

std::string TGDocumentQueries::AskSaveFileName(const std::string& proposed) {
  const SaveFileDialog dialog("Save", "Tonegarden document (*.tgh);;All documents (*)", "tgh");
  return dialog.Ask(owner_, QString::fromStdString(proposed)).toStdString();
}

}  // namespace tg
