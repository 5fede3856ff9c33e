#include "framework/forms/SaveFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "engine/SoundFilePaths.h"

namespace tg {

SaveFileDialog::SaveFileDialog(QString caption, QString filter, QString suffix)
    : caption_(std::move(caption)), filter_(std::move(filter)), suffix_(std::move(suffix)) {
  choose = [this](QWidget* owner, const QString& proposed) {
    return QFileDialog::getSaveFileName(owner, caption_, proposed, filter_);
  };
  confirmReplace = [this](QWidget* owner, const QString& existing) {
    return QMessageBox::warning(owner, caption_,
                                QString("%1 already exists.\nDo you want to replace it?")
                                    .arg(QFileInfo(existing).fileName()),
                                QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
  };
}

QString SaveFileDialog::WithSuffix(const QString& name, const QString& suffix) {
  if (name.isEmpty() || !QFileInfo(name).suffix().isEmpty()) return name;
  return name + "." + suffix;
}

QString SaveFileDialog::Ask(QWidget* owner, const QString& proposed) const {
  QString start =
      QString::fromStdString(SoundFilePaths::Instance().DialogStartPath(proposed.toStdString()));
  for (;;) {
    const QString chosen = choose(owner, start);
    if (chosen.isEmpty()) return {};
    const QString final = WithSuffix(chosen, suffix_);
    if (final == chosen || !QFileInfo::exists(final) || confirmReplace(owner, final)) return final;
    start = final;  // not that one: ask again
  }
}

}  // namespace tg
