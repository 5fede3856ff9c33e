#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

class QLabel;
class QTimer;
class QToolButton;
class QWidget;

namespace tg {

// The tip of a sound-file name: its whole path and, for a file that cannot
// be played, why ("not found", "it is a folder", …).
std::string SoundFileTip(const std::string& name, bool missing);

// A window's sound-file line: "File:", an open button and the stored name in
// a lowered panel, marked " !" while the file is missing or unreadable and
// " (cut)" when only its start could be kept. The panel follows a load in
// progress until it is done. UI thread.
class SoundFileRow final : public QObject {
  Q_OBJECT

 public:
  struct Slot {
    std::function<const std::string&()> name;  // the stored name
    std::function<bool()> loadFailed;
    std::function<bool()> loading;
    std::function<bool()> loadCut;  // only the file's start plays
  };

  // Lays the line out in parent from (x, y), width pixels wide.
  SoundFileRow(QWidget* parent, int x, int y, int width, Slot slot);

  // The panel's text for a stored name.
  static QString PanelCaption(std::string_view storedName, bool missing, bool cut = false);
  // Shows the stored name and whether its file can be played.
  void Refresh();
  bool WatchingLoads() const;

  static constexpr int kHeight = 22;
  QLabel* Label() const { return label_; }
  QToolButton* OpenButton() const { return open_; }
  QLabel* FileNamePanel() const { return panel_; }

 signals:
  void OpenClicked();

 private:
  Slot slot_;
  QLabel* label_;
  QToolButton* open_;
  QLabel* panel_;
  QTimer* loads_;
};

}  // namespace tg
