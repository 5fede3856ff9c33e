#include "forms/SaveFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "files/SoundFilePaths.h"

namespace tg {

SaveFileDialog::SaveFileDialog(QString caption, QString filter, QString suffix,
                               QString replaceQuestion)
    : caption_(std::move(caption)),
      filter_(std::move(filter)),
      suffix_(std::move(suffix)),
      replaceQuestion_(std::move(replaceQuestion)) {
  choose = [this](QWidget* owner, const QString& start) {
    return QFileDialog::getSaveFileName(owner, caption_, start, filter_, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
  };
  confirmReplace = [this](QWidget* owner, const QString& existing) {
    return QMessageBox::question(owner, caption_,
                                 replaceQuestion_.arg(QFileInfo(existing).fileName())) ==
           QMessageBox::Yes;
  };
}

QString SaveFileDialog::WithSuffix(const QString& name, const QString& suffix) {
  if (name.isEmpty()) return name;
  const qsizetype slash = name.lastIndexOf('/');
  const qsizetype dot = name.lastIndexOf('.');
  if (dot <= slash) return name + "." + suffix;
  if (dot == name.size() - 1) return name + suffix;  // "take." means "take.wav"
  return name;
}

QString SaveFileDialog::Ask(QWidget* owner, const QString& proposed) const {
  QString start =
      QString::fromStdString(SoundFilePaths::Instance().DialogStartPath(proposed.toStdString()));
  for (;;) {
    const QString chosen = choose(owner, start);
    if (chosen.isEmpty()) return {};
    const QString final = WithSuffix(chosen, suffix_);
    if (!QFileInfo::exists(final) || confirmReplace(owner, final)) return final;
    start = final;  // not that one: ask again
  }
}

}  // namespace tg
