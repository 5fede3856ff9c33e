#include "app/midiwindow/TMidiSettingsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/TAudioEngineModule.h"
#include "engine/midi/MidiPorts.h"

namespace tg {

namespace midi_settings_page {

constexpr const char* kNoOutput = "(none)";

bool Lists(const std::vector<std::string>& list, const std::string& name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

QString Shown(const std::string& port, bool present) {
  return QString::fromStdString(port) + (present ? "" : " (not there now)");
}

QString Word(std::string_view word) {
  return QString::fromUtf8(word.data(), static_cast<qsizetype>(word.size()));
}

void Choose(QComboBox* box, std::string_view word) {
  const QSignalBlocker block(box);
  box->setCurrentIndex(std::max(0, box->findData(Word(word))));
}

}  // namespace midi_settings_page

TMidiSettingsPage::TMidiSettingsPage(MidiPorts& ports, QWidget* parent)
    : QWidget(parent),
      ports_(ports),
      status_(new QLabel(this)),
      inputs_(new QListWidget(this)),
      output_(new QComboBox(this)),
      clockSource_(new QComboBox(this)),
      jackTransport_(new QComboBox(this)),
      jackNote_(new QLabel(this)),
      startStopSync_(new QCheckBox("Start/stop sync", this)) {
  // Each source keeps its word as its data, so the list can grow.
  clockSource_->addItem("Internal",
                        QString::fromUtf8(ClockSourceWord(ClockSource::Internal).data()));
  clockSource_->addItem("MIDI clock",
                        QString::fromUtf8(ClockSourceWord(ClockSource::MidiClock).data()));
  // Chosen, the program is in the session; otherwise Link stays off.
  clockSource_->addItem("Ableton Link",
                        QString::fromUtf8(ClockSourceWord(ClockSource::Link).data()));
  startStopSync_->setToolTip(
      "The session's start and stop start and pause the clock, and ours start and stop it");
  connect(clockSource_, &QComboBox::currentIndexChanged, this, [this] {
    startStopSync_->setEnabled(clockSource_->currentData().toString() ==
                               QString::fromUtf8(ClockSourceWord(ClockSource::Link).data()));
  });
  clockSource_->addItem("JACK transport",
                        QString::fromUtf8(ClockSourceWord(ClockSource::JackTransport).data()));
  for (const auto& [text, mode] :
       {std::pair{"Off", JackTransportMode::Off}, std::pair{"Follow", JackTransportMode::Follow},
        std::pair{"Lead", JackTransportMode::Lead}})
    jackTransport_->addItem(text, midi_settings_page::Word(JackTransportWord(mode)));
  jackNote_->setWordWrap(true);
  // Following the JACK transport is the clock source "JACK transport".
  using midi_settings_page::Choose;
  const QString jackWord = midi_settings_page::Word(ClockSourceWord(ClockSource::JackTransport));
  const QString followWord = midi_settings_page::Word(JackTransportWord(JackTransportMode::Follow));
  connect(clockSource_, &QComboBox::currentIndexChanged, this, [=, this] {
    if (clockSource_->currentData() == jackWord) {
      Choose(jackTransport_, JackTransportWord(JackTransportMode::Follow));
    } else if (jackTransport_->currentData() == followWord) {
      Choose(jackTransport_, JackTransportWord(JackTransportMode::Off));
    }
  });
  connect(jackTransport_, &QComboBox::currentIndexChanged, this, [=, this] {
    if (jackTransport_->currentData() == followWord) {
      Choose(clockSource_, ClockSourceWord(ClockSource::JackTransport));
    } else if (clockSource_->currentData() == jackWord) {
      Choose(clockSource_, ClockSourceWord(ClockSource::Internal));
    }
  });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(status_);
  layout->addWidget(new QLabel("Input ports:", this));
  layout->addWidget(inputs_);
  layout->addWidget(new QLabel("Output port:", this));
  layout->addWidget(output_);
  layout->addWidget(new QLabel("Clock source:", this));
  auto* clock = new QHBoxLayout;
  clock->addWidget(clockSource_, 1);
  clock->addWidget(startStopSync_);
  layout->addLayout(clock);
  layout->addWidget(new QLabel("JACK transport:", this));
  layout->addWidget(jackTransport_);
  layout->addWidget(jackNote_);
  ReadCurrent();
  const auto changed = [this] {
    if (!reading_) emit Changed();
  };
  connect(inputs_, &QListWidget::itemChanged, this, changed);
  connect(output_, &QComboBox::currentIndexChanged, this, changed);
  connect(clockSource_, &QComboBox::currentIndexChanged, this, changed);
  connect(jackTransport_, &QComboBox::currentIndexChanged, this, changed);
  connect(startStopSync_, &QCheckBox::toggled, this, changed);
}

void TMidiSettingsPage::ReadCurrent() {
  using midi_settings_page::Lists;
  reading_ = true;
  status_->setText(
      QString::fromStdString(ports_.Status().empty() ? "MIDI is not open" : ports_.Status()));
  inputs_->clear();
  const std::vector<std::string> sources = ports_.Sources();
  std::vector<std::string> listed = sources;
  for (const std::string& wanted : ports_.WantedInputs()) {
    if (!Lists(listed, wanted)) listed.push_back(wanted);
  }
  for (const std::string& port : listed) {
    auto* item = new QListWidgetItem(midi_settings_page::Shown(port, Lists(sources, port)));
    item->setData(Qt::UserRole, QString::fromStdString(port));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Lists(ports_.WantedInputs(), port) ? Qt::Checked : Qt::Unchecked);
    inputs_->addItem(item);
  }
  output_->clear();
  output_->addItem(midi_settings_page::kNoOutput, QString());
  const std::vector<std::string> destinations = ports_.Destinations();
  std::vector<std::string> choices = destinations;
  if (!ports_.WantedOutput().empty() && !Lists(choices, ports_.WantedOutput()))
    choices.push_back(ports_.WantedOutput());
  for (const std::string& port : choices) {
    output_->addItem(midi_settings_page::Shown(port, Lists(destinations, port)),
                     QString::fromStdString(port));
  }
  output_->setCurrentIndex(
      std::max(0, output_->findData(QString::fromStdString(ports_.WantedOutput()))));
  midi_settings_page::Choose(clockSource_, ClockSourceWord(ports_.Engine().GetClockSource()));
  midi_settings_page::Choose(jackTransport_, JackTransportWord(ports_.Engine().GetJackTransport()));
  startStopSync_->setChecked(ports_.Engine().LinkStartStopSync());
  startStopSync_->setEnabled(ports_.Engine().GetClockSource() == ClockSource::Link);
  ShowJackTransportOffer();
  reading_ = false;
}

void TMidiSettingsPage::ShowJackTransportOffer() {
  // Offered only where it can work; the choice made stays shown.
  const std::string problem = ports_.Engine().JackTransportProblem();
  jackTransport_->setEnabled(problem.empty());
  jackNote_->setText(QString::fromStdString(problem));
  jackNote_->setVisible(!problem.empty());
  if (auto* items = qobject_cast<QStandardItemModel*>(clockSource_->model())) {
    const int jack = clockSource_->findData(
        midi_settings_page::Word(ClockSourceWord(ClockSource::JackTransport)));
    if (jack >= 0) items->item(jack)->setEnabled(problem.empty());
  }
}

void TMidiSettingsPage::Apply() {
  std::vector<std::string> wanted;
  for (int i = 0; i < inputs_->count(); ++i) {
    const QListWidgetItem* item = inputs_->item(i);
    if (item->checkState() == Qt::Checked)
      wanted.push_back(item->data(Qt::UserRole).toString().toStdString());
  }
  ports_.SetWantedInputs(std::move(wanted));
  ports_.SetWantedOutput(output_->currentData().toString().toStdString());
  ports_.Engine().SetLinkStartStopSync(startStopSync_->isChecked());
  if (const auto source = ClockSourceFromWord(clockSource_->currentData().toString().toStdString()))
    ports_.Engine().SetClockSource(*source);
  if (const auto mode =
          JackTransportFromWord(jackTransport_->currentData().toString().toStdString()))
    ports_.Engine().SetJackTransport(*mode);
}

}  // namespace tg
