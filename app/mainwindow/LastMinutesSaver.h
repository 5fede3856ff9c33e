#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <thread>

namespace tg {

class LastMinutesRing;

// File > "Save the Last Minutes…": writes what the engine kept on a thread
// of its own, so playing goes on untouched and the window stays alive; the
// answer comes back on the user-interface thread.
class LastMinutesSaver final : public QObject {
  Q_OBJECT
 public:
  explicit LastMinutesSaver(const LastMinutesRing& ring, QObject* parent = nullptr);
  // Waits for a save under way.
  ~LastMinutesSaver() override;

  bool Busy() const { return busy_.load(); }
  // Begins writing to fileName; false while another save is under way.
  bool Start(const QString& fileName);
  // "Saved the last 4:59 to take.wav" for a file of that many frames.
  static QString SavedText(const QString& fileName, qint64 frames);

 signals:
  // problem: empty when written.
  void Finished(const QString& fileName, const QString& problem, qint64 frames);

 private:
  const LastMinutesRing& ring_;
  std::thread worker_;
  std::atomic<bool> busy_{false};
};

}  // namespace tg
