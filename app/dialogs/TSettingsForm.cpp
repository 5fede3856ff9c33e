#include "app/dialogs/TSettingsForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/dialogs/ThemeSettings.h"
#include "dsp/BlockConstants.h"
#include "engine/TAudioEngineModule.h"
#include "engine/devices/WaveDevice.h"
#include "engine/streams/KWWaveInStream.h"
#include "engine/streams/KWWaveOutStream.h"
#include "engine/streams/StreamSettings.h"
#include "files/SoundFilePaths.h"
#include "host/SettingsStore.h"
#include "host/UserMessages.h"

namespace tg {
namespace {

void SelectNumber(QComboBox* box, int number) { box->setCurrentIndex(box->findData(number)); }

}  // namespace

QString TSettingsForm::DurationText(int size) {
  const int frames = size / 4;  // whole frames
  return QString("( %1 ms )").arg(static_cast<int>(frames / kSampleRate * 1000.0));
}

QString TSettingsForm::LatencyText(int size, int count) {
  const int frames = size / 4;  // whole frames
  return QString("( Total latency = %1 ms )")
      .arg(static_cast<int>(frames / kSampleRate * 1000.0 * count));
}

TSettingsForm::TSettingsForm(TAudioEngineModule& engine, KWWaveOutStream* out, KWWaveInStream* in,
                             UserMessages& messages, SettingsStore& settings, QWidget* parent)
    : TSettingsForm(engine, out, in, messages, parent) {
  settings_ = &settings;
}

TSettingsForm::TSettingsForm(TAudioEngineModule& engine, KWWaveOutStream* out, KWWaveInStream* in,
                             UserMessages& messages, QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      outStream_(out),
      inStream_(in),
      messages_(messages),
      pages_(new QTabWidget(this)) {
  setWindowTitle("Tonegarden Settings");
  pages_->addTab(MakeStreamPage(out_, "Output Device", true), "Audio Output");
  pages_->addTab(MakeStreamPage(in_, "Input Device", false), "Audio Input");
  pages_->addTab(MakeDirectoryPage(), "Directories");
  pages_->addTab(MakeGeneralPage(), "General");
  pages_->widget(0)->setEnabled(out != nullptr);
  pages_->widget(1)->setEnabled(in != nullptr);

  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  apply_ = buttons->addButton("Apply", QDialogButtonBox::ApplyRole);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, [this] {
    if (CanApply()) Apply();
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  layout->addWidget(buttons);
  ReadCurrent();
}

QWidget* TSettingsForm::MakeStreamPage(Page& page, const QString& group, bool withOverdrive) {
  auto* widget = new QWidget;
  auto* box = new QGroupBox(group, widget);
  auto* form = new QFormLayout(box);
  page.device = new QComboBox(box);
  page.device->setMinimumWidth(260);
  page.size = new QComboBox(box);
  for (int size : kSizes) page.size->addItem(QString::number(size), size);
  page.count = new QComboBox(box);
  for (int count : kCounts) page.count->addItem(QString::number(count), count);
  page.duration = new QLabel(box);
  page.latency = new QLabel(box);
  form->addRow("Device:", page.device);
  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(page.size);
  sizeRow->addWidget(page.duration, 1);
  form->addRow("Buffer size (bytes):", sizeRow);
  auto* countRow = new QHBoxLayout;
  countRow->addWidget(page.count);
  countRow->addWidget(page.latency, 1);
  form->addRow("Number of buffers:", countRow);
  if (withOverdrive) {
    overdrive_ = new QCheckBox("Overdrive", box);
    form->addRow(overdrive_);
    connect(overdrive_, &QCheckBox::toggled, this, [this] { Changed(); });
    threads_ = new QComboBox(box);
    threads_->addItem("Automatic", TAudioEngineModule::kAutomaticThreads);
    for (int n = 1; n <= TAudioEngineModule::Cores(); ++n) threads_->addItem(QString::number(n), n);
    threads_->setToolTip("How many processor cores share the work of a large patch");
    auto* threadsRow = new QHBoxLayout;
    threadsRow->addWidget(threads_);
    threadsRow->addStretch(1);
    form->addRow("Processing threads:", threadsRow);
    threadsNote_ = new QLabel(box);
    threadsNote_->setWordWrap(true);
    form->addRow(threadsNote_);
    connect(threads_, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
    limit_ = new QCheckBox("Limit the output", box);
    limit_->setToolTip(
        "A peak limiter at -0.3 dBFS before the sound card and SoundOut's recording: nothing "
        "clips, and the sound is untouched while it stays below");
    form->addRow(limit_);
    connect(limit_, &QCheckBox::toggled, this, [this] { Changed(); });
  }
  auto relabel = [this, &page] {
    UpdateLabels(page);
    Changed();
  };
  connect(page.device, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  connect(page.size, &QComboBox::currentIndexChanged, this, relabel);
  connect(page.count, &QComboBox::currentIndexChanged, this, relabel);
  auto* layout = new QVBoxLayout(widget);
  layout->addWidget(box);
  layout->addStretch();
  return widget;
}

QWidget* TSettingsForm::MakeDirectoryPage() {
  auto* widget = new QWidget;
  auto* box = new QGroupBox("Soundfile Directories", widget);
  directories_ = new QListWidget(box);
  auto* add = new QPushButton("Add...", box);
  auto* remove = new QPushButton("Remove", box);
  auto* text = new QPlainTextEdit(box);
  text->setReadOnly(true);
  text->setFocusPolicy(Qt::NoFocus);
  text->setPlainText(
      "Soundfiles referenced within Tonegarden documents are stored in "
      "relative form if they are contained within directories or sub-directories "
      "of either: the directory the Tonegarden document is contained in, the "
      "directories listed above, or the Tonegarden application directory. "
      "Files are also searched for in that order.");
  text->setMaximumHeight(90);
  connect(add, &QPushButton::clicked, this, [this] {
    const QString dir = QFileDialog::getExistingDirectory(this, "Select Directory");
    if (!dir.isEmpty()) AddDirectory(dir);
  });
  connect(remove, &QPushButton::clicked, this, [this] { RemoveSelectedDirectory(); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(add);
  buttons->addWidget(remove);
  auto* inner = new QVBoxLayout(box);
  inner->addWidget(directories_);
  inner->addLayout(buttons);
  inner->addWidget(text);
  auto* layout = new QVBoxLayout(widget);
  layout->addWidget(box);
  return widget;
}

QWidget* TSettingsForm::MakeGeneralPage() {
  auto* widget = new QWidget;
  auto* form = new QFormLayout(widget);
  theme_ = new QComboBox(widget);
  theme_->addItem("Light", static_cast<int>(StageTheme::Light));
  theme_->addItem("Dark", static_cast<int>(StageTheme::Dark));
  form->addRow("Theme:", theme_);
  connect(theme_, &QComboBox::currentIndexChanged, this, [this] { Changed(); });
  lastMinutes_ = new QSpinBox(widget);
  lastMinutes_->setRange(0, 10);
  lastMinutes_->setToolTip(
      "What the program played lately is kept, so that File > Save the Last Minutes can save it "
      "even when nothing was recording (0 keeps nothing)");
  form->addRow("Keep the last minutes:", lastMinutes_);
  connect(lastMinutes_, &QSpinBox::valueChanged, this, [this] { Changed(); });
  return widget;
}

void TSettingsForm::AddDirectory(const QString& directory) {
  directories_->addItem(directory.endsWith('/') ? directory : directory + "/");
  Changed();
}

void TSettingsForm::RemoveSelectedDirectory() {
  const int row = directories_->currentRow();
  if (row < 0) return;
  delete directories_->takeItem(row);
  Changed();
}

void TSettingsForm::ReadCurrent() {
  auto fill = [](const Page& page, const std::vector<WaveDeviceInfo>& devices, int device, int size,
                 int count) {
    const QSignalBlocker a(page.device), b(page.size), c(page.count);
    page.device->clear();
    for (const WaveDeviceInfo& d : devices) page.device->addItem(QString::fromStdString(d.name));
    page.device->setCurrentIndex(device < page.device->count() ? device : -1);
    SelectNumber(page.size, size);
    SelectNumber(page.count, count);
    UpdateLabels(page);
  };
  if (outStream_ != nullptr) {
    fill(out_, outStream_->DeviceNames(), outStream_->Device(), outStream_->BufferSize(),
         outStream_->BufferCount());
    const QSignalBlocker block(overdrive_);
    overdrive_->setChecked(outStream_->Overdrive());
  }
  {
    const QSignalBlocker block(threads_);
    const int requested = engine_.ProcessingThreads();
    // A stored count beyond this computer's cores shows as its most.
    SelectNumber(threads_, std::min(requested, TAudioEngineModule::Cores()));
  }
  ShowThreadsNote();
  {
    const QSignalBlocker block(limit_);
    limit_->setChecked(engine_.OutputLimited());
  }
  {
    const QSignalBlocker block(lastMinutes_);
    lastMinutes_->setValue(
        static_cast<int>(engine_.KeptFrames() / LastMinutesRing::kFramesPerMinute));
  }
  if (inStream_ != nullptr) {
    fill(in_, inStream_->DeviceNames(), inStream_->Device(), inStream_->BufferSize(),
         inStream_->BufferCount());
  }
  {
    const QSignalBlocker block(theme_);
    theme_->setCurrentIndex(theme_->findData(static_cast<int>(StagePalette::CurrentTheme())));
  }
  directories_->clear();
  for (const std::string& dir : SoundFilePaths::Instance().Directories()) {
    directories_->addItem(QString::fromStdString(dir));
  }
  apply_->setEnabled(false);
  pages_->setCurrentIndex(0);
}

void TSettingsForm::Changed() { apply_->setEnabled(true); }
bool TSettingsForm::CanApply() const { return apply_->isEnabled(); }

int TSettingsForm::SelectedNumber(const QComboBox* box) {
  return box->currentIndex() < 0 ? -1 : box->currentData().toInt();
}

void TSettingsForm::UpdateLabels(const Page& page) {
  const int size = SelectedNumber(page.size);
  const int count = SelectedNumber(page.count);
  page.duration->setText(size > 0 ? DurationText(size) : QString());
  page.latency->setText(size > 0 && count > 0 ? LatencyText(size, count) : QString());
}

void TSettingsForm::Apply() {
  int outSize = SelectedNumber(out_.size);
  int inSize = SelectedNumber(in_.size);
  if (outStream_ != nullptr && inStream_ != nullptr && outSize > 0 && inSize > 0 &&
      inSize < outSize) {
    {
      const QSignalBlocker block(in_.size);
      SelectNumber(in_.size, outSize);
      UpdateLabels(in_);
    }
    messages_.ShowMessage(
        "You have selected an invalid Audio Input buffer size.\nThe Audio Input buffer size must "
        "be greater than or equal to the Audio Output buffer size.\nThe Audio Input buffer size "
        "has been automatically reset to the Audio Output buffer size.",
        "Invalid Audio Input Buffer Size", MessageIcon::Exclamation);
    inSize = outSize;
  }
  ApplyStreams(inSize);
  const int threads = SelectedNumber(threads_);
  if (threads >= 0 && threads != engine_.ProcessingThreads()) engine_.SetProcessingThreads(threads);
  ShowThreadsNote();
  engine_.SetOutputLimited(limit_->isChecked());
  const int64_t kept = lastMinutes_->value() * LastMinutesRing::kFramesPerMinute;
  if (kept != engine_.KeptFrames()) engine_.KeepLastFrames(kept);
  std::vector<std::string> dirs;
  dirs.reserve(static_cast<size_t>(directories_->count()));
  for (int i = 0; i < directories_->count(); ++i) {
    dirs.push_back(directories_->item(i)->text().toStdString());
  }
  SoundFilePaths::Instance().SetDirectories(dirs);
  const auto theme = static_cast<StageTheme>(theme_->currentData().toInt());
  if (theme != StagePalette::CurrentTheme()) ApplyStageTheme(theme);
  StoreApplied();
  apply_->setEnabled(false);
  emit Applied();
}

void TSettingsForm::ShowThreadsNote() {
  if (threadsNote_ == nullptr) return;
  threadsNote_->setText(QString::fromStdString(engine_.ProcessingThreadsNote()));
  threadsNote_->setVisible(!threadsNote_->text().isEmpty());
}

void TSettingsForm::ApplyStreams(int inSize) {
  const int outSize = SelectedNumber(out_.size);
  try {
    if (outStream_ != nullptr) {
      const int count = SelectedNumber(out_.count);
      const int size = outSize > 0 ? outSize : outStream_->BufferSize();
      const int n = count > 0 ? count : outStream_->BufferCount();
      const int device = out_.device->currentIndex();
      const bool changes = n != outStream_->BufferCount() || size != outStream_->BufferSize() ||
                           (device >= 0 && device != outStream_->Device());
      // Restarted through the engine: the new device counts its frames from
      // 0, and MIDI timing and the transport must count with it.
      const bool restart = changes && outStream_->IsActive();
      if (restart) engine_.StopAudioOut();
      outStream_->SetBuffers(n, size);
      if (device >= 0) outStream_->SetDevice(device);
      outStream_->SetOverdrive(overdrive_->isChecked());
      if (restart) engine_.StartAudioOut();
    }
    if (inStream_ != nullptr) {
      const int count = SelectedNumber(in_.count);
      const int n = count > 0 ? count : inStream_->BufferCount();
      const int size = inSize > 0 ? inSize : inStream_->BufferSize();
      const int device = in_.device->currentIndex();
      // A live input is only broken off for a change of its own.
      const bool changes = n != inStream_->BufferCount() || size != inStream_->BufferSize() ||
                           (device >= 0 && device != inStream_->Device());
      const bool restart = changes && engine_.IsAudioInRunning();
      if (restart) engine_.StopAudioIn();
      inStream_->SetBuffers(n, size);
      if (device >= 0) inStream_->SetDevice(device);
      if (restart) engine_.StartAudioIn();
    }
  } catch (const EWaveDeviceError& error) {
    messages_.ShowMessage(error.what(), "Tonegarden", MessageIcon::Error);
  }
}

void TSettingsForm::StoreApplied() {
  if (settings_ == nullptr) return;
  // What the streams hold now, even when a device refused to restart: the
  // values were taken all the same.
  if (outStream_ != nullptr && inStream_ != nullptr)
    StoreStreamSettings(*settings_, *outStream_, *inStream_);
  StoreProcessingThreads(*settings_, engine_.ProcessingThreads());
  StoreOutputLimited(*settings_, engine_.OutputLimited());
  StoreLastMinutes(*settings_, lastMinutes_->value());
  SoundFilePaths::Instance().Store(*settings_);
  StoreStageTheme(*settings_, StagePalette::CurrentTheme());
  settings_->Sync();
}

}  // namespace tg
