#include "app/help/ExampleFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tg {

QString ExamplesDirectory() {
  const QString installed =
      QCoreApplication::applicationDirPath() + "/../share/tonegarden/examples";
  if (QFileInfo(installed).isDir()) return QDir(installed).canonicalPath();
#ifdef TONEGARDEN_SOURCE_EXAMPLES
  if (QFileInfo(TONEGARDEN_SOURCE_EXAMPLES).isDir()) return TONEGARDEN_SOURCE_EXAMPLES;
#endif
  return {};
}

QString ExampleFile(const QString& name) {
  if (name.isEmpty() || name.contains('/') || name.contains('\\')) return {};
  const QString dir = ExamplesDirectory();
  if (dir.isEmpty()) return {};
  const QFileInfo file(dir + "/" + name);
  return file.isFile() ? file.absoluteFilePath() : QString();
}

}  // namespace tg
