#include "forms/OpenSoundFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>

#include "files/SoundFilePaths.h"

namespace tg {

OpenSoundFileDialog::OpenSoundFileDialog() {
  choose = [](QWidget* owner, const QString& start) {
    QFileDialog dialog(owner, Title(), start, Filter());
    // Only an existing file in an existing directory; "kick" means "kick.wav".
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix("wav");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().constFirst();
  };
}

QString OpenSoundFileDialog::Filter() {
  // What libsndfile reads; the file system tells letter case apart.
  return "Wave files (*.wav *.WAV);;"
         "Sound files (*.wav *.WAV *.aif *.aiff *.aifc *.AIF *.AIFF *.flac *.FLAC *.ogg *.oga "
         "*.opus *.mp3 *.MP3 *.au *.snd *.caf *.w64 *.rf64 *.voc);;"
         "All files (*)";
}

QString OpenSoundFileDialog::StartPath(std::string_view storedName) {
  const SoundFilePaths& paths = SoundFilePaths::Instance();
  QString start;
  if (!storedName.empty()) {
    const QFileInfo current(QString::fromStdString(paths.ResolveSoundFile(storedName)));
    if (current.isFile()) start = current.absoluteFilePath();
  }
  if (start.isEmpty()) start = QString::fromStdString(paths.LastSoundFileDirectory());
  return QString::fromStdString(paths.DialogStartPath(start.toStdString()));
}

QString OpenSoundFileDialog::Ask(QWidget* owner, std::string_view storedName) const {
  const QString chosen = choose(owner, StartPath(storedName));
  if (chosen.isEmpty()) return {};
  const QFileInfo file(chosen);
  SoundFilePaths& paths = SoundFilePaths::Instance();
  paths.SetLastSoundFileDirectory(file.absolutePath().toStdString());
  // The full name: the parameter keeps it so, and a document written
  // anywhere names it as that document will find it.
  return file.absoluteFilePath();
}

}  // namespace tg
