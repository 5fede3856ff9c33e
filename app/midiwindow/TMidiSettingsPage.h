#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;

namespace tg {

class MidiPorts;

// The settings dialog's "MIDI" page: the system in use, the input ports to
// listen to (several may be ticked), the one output port (which also plays
// the tempo clock), the "Clock source" (its "Ableton Link" joins a Link
// session on the local network, with "Start/stop sync" beside it), and "JACK
// transport" (offered only while the output plays through JACK at 44100 Hz,
// else the page says why; its "Follow" and the clock source "JACK transport"
// are one choice). Ports chosen before that are not there now stay listed, to
// be joined when they appear.
class TMidiSettingsPage final : public QWidget {
  Q_OBJECT

 public:
  TMidiSettingsPage(MidiPorts& ports, QWidget* parent = nullptr);

  void ReadCurrent();
  // Whether JACK transport can work now (after the output changed), leaving
  // every choice on the page as it is.
  void ShowJackTransportOffer();
  // Hands the choice to the ports (the caller stores it).
  void Apply();
  QListWidget* Inputs() const { return inputs_; }
  QComboBox* Output() const { return output_; }
  QComboBox* ClockSourceChoice() const { return clockSource_; }
  QComboBox* JackTransportChoice() const { return jackTransport_; }
  QLabel* JackTransportNote() const { return jackNote_; }
  QCheckBox* StartStopSync() const { return startStopSync_; }

 signals:
  // The user changed a choice (not ReadCurrent).
  void Changed();

 private:
  MidiPorts& ports_;
  QLabel* status_;
  QListWidget* inputs_;
  QComboBox* output_;
  QComboBox* clockSource_;
  QComboBox* jackTransport_;
  QLabel* jackNote_;
  QCheckBox* startStopSync_;
  bool reading_ = false;
};

}  // namespace tg
