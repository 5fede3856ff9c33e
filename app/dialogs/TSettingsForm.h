#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace tg {

class KWWaveInStream;
class KWWaveOutStream;
class SettingsStore;
class TAudioEngineModule;
class UserMessages;

// "Tonegarden Settings": the two streams' devices and buffers, Overdrive, the
// processing threads, the sound-file directories and the theme. Every showing reads the current
// values; with a settings store, what is applied is stored at once, so that it outlives a program
// that is killed rather than closed.
class TSettingsForm final : public QDialog {
  Q_OBJECT

 public:
  // 1024: the low latency a first start may choose, kept choosable.
  static constexpr int kSizes[] = {1024, 2048, 4096, 8192, 16384, 32768, 65536};
  static constexpr int kCounts[] = {2, 3, 4, 5, 6, 7, 8};

  // The streams may be null (no device streams): their pages are disabled.
  TSettingsForm(TAudioEngineModule& engine, KWWaveOutStream* out, KWWaveInStream* in,
                UserMessages& messages, SettingsStore& settings, QWidget* parent = nullptr);
  // Applies without storing (tools that must leave the user's settings alone).
  TSettingsForm(TAudioEngineModule& engine, KWWaveOutStream* out, KWWaveInStream* in,
                UserMessages& messages, QWidget* parent = nullptr);

  // "( 92 ms )" and "( Total latency = 371 ms )" for a size in bytes and a count.
  static QString DurationText(int size);
  static QString LatencyText(int size, int count);

  // Fills every control from the streams and the directory list.
  void ReadCurrent();
  void Apply();
  bool CanApply() const;
  // A page added by others has a change to apply: Apply is offered.
  void PageChanged() { Changed(); }

 signals:
  // After every Apply, so pages added by others can follow what changed.
  void Applied();

 public:
  QTabWidget* Pages() const { return pages_; }
  struct Page {
    QComboBox* device = nullptr;
    QComboBox* size = nullptr;
    QComboBox* count = nullptr;
    QLabel* duration = nullptr;
    QLabel* latency = nullptr;
  };
  const Page& OutputPage() const { return out_; }
  const Page& InputPage() const { return in_; }
  QCheckBox* OverdriveBox() const { return overdrive_; }
  // "Automatic", then 1 up to one per core.
  QComboBox* ThreadsBox() const { return threads_; }
  QLabel* ThreadsNote() const { return threadsNote_; }
  QCheckBox* LimitBox() const { return limit_; }
  // "Keep the last minutes", 0 to 10.
  QSpinBox* LastMinutesBox() const { return lastMinutes_; }
  QListWidget* DirectoryList() const { return directories_; }
  // "Theme:" Light or Dark, on the "General" page.
  QComboBox* ThemeBox() const { return theme_; }
  void AddDirectory(const QString& directory);
  void RemoveSelectedDirectory();

 private:
  QWidget* MakeStreamPage(Page& page, const QString& group, bool withOverdrive);
  QWidget* MakeDirectoryPage();
  QWidget* MakeGeneralPage();
  void Changed();
  static void UpdateLabels(const Page& page);
  static int SelectedNumber(const QComboBox* box);
  void ApplyStreams(int inSize);
  void ShowThreadsNote();
  void StoreApplied();

  TAudioEngineModule& engine_;
  KWWaveOutStream* outStream_;
  KWWaveInStream* inStream_;
  UserMessages& messages_;
  SettingsStore* settings_ = nullptr;
  QTabWidget* pages_;
  Page out_, in_;
  QCheckBox* overdrive_ = nullptr;
  QComboBox* threads_ = nullptr;
  QLabel* threadsNote_ = nullptr;  // why fewer threads work than asked for
  QCheckBox* limit_ = nullptr;
  QSpinBox* lastMinutes_ = nullptr;
  QListWidget* directories_ = nullptr;
  QComboBox* theme_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace tg
