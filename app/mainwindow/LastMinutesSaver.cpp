#include "app/mainwindow/LastMinutesSaver.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>

#include "engine/LastMinutesFile.h"

namespace tg {

LastMinutesSaver::LastMinutesSaver(const LastMinutesRing& ring, QObject* parent)
    : QObject(parent), ring_(ring) {}

LastMinutesSaver::~LastMinutesSaver() {
  if (worker_.joinable()) worker_.join();
}

bool LastMinutesSaver::Start(const QString& fileName) {
  if (busy_.exchange(true)) return false;
  if (worker_.joinable()) worker_.join();  // the last one, long finished
  worker_ = std::thread([this, fileName] {
    const LastMinutesSaved saved = SaveLastMinutes(ring_, fileName.toStdString());
    // Queued: heard on the user-interface thread, or not at all once this is gone.
    QMetaObject::invokeMethod(
        this,
        [this, fileName, saved] {
          busy_.store(false);
          emit Finished(fileName, QString::fromStdString(saved.problem), saved.frames);
        },
        Qt::QueuedConnection);
  });
  return true;
}

QString LastMinutesSaver::SavedText(const QString& fileName, qint64 frames) {
  const qint64 seconds = frames / 44100;
  return QString("Saved the last %1:%2 to %3")
      .arg(seconds / 60)
      .arg(seconds % 60, 2, 10, QChar('0'))
      .arg(QFileInfo(fileName).fileName());
}

}  // namespace tg
