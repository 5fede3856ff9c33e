#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/midi/MidiInput.h"
#include "engine/midi/MidiSystem.h"
#include "engine/midi/MidiWake.h"

namespace tg {

class SettingsStore;
class TAudioEngineModule;

// The program's MIDI ports: the first system that opens (JACK where a server
// runs, else the ALSA sequencer), the input ports the user chose to listen
// to (several may be on) and the one output port. A chosen port that is not
// there is joined as soon as it appears (a controller plugged in later, or
// again); a system that cannot open, or a port that cannot be joined, is
// said in a message and never stops the program. UI thread only.
class MidiPorts {
 public:
  using SystemMaker = std::function<std::unique_ptr<MidiSystem>()>;

  // The systems are tried in their order.
  MidiPorts(TAudioEngineModule& engine, std::vector<SystemMaker> systems);
  ~MidiPorts();
  MidiPorts(const MidiPorts&) = delete;
  MidiPorts& operator=(const MidiPorts&) = delete;

  // JACK, then the ALSA sequencer.
  static std::vector<SystemMaker> StandardSystems();

  // Opens the first system that will; false when none does (Status says why).
  bool Open();
  bool IsOpen() const { return system_ != nullptr; }
  // "JACK", "ALSA sequencer", or empty.
  std::string SystemName() const;
  MidiSystem* System() const { return system_.get(); }

  std::vector<std::string> Sources();
  std::vector<std::string> Destinations();
  const std::vector<std::string>& WantedInputs() const { return wantedInputs_; }
  const std::string& WantedOutput() const { return wantedOutput_; }
  // The ports to listen to and to play to (none: empty); joined now where
  // they are there, the others later. Ports no longer wanted are parted.
  void SetWantedInputs(std::vector<std::string> ports);
  void SetWantedOutput(std::string port);
  // Whether a wanted port is joined now.
  bool IsJoined(const std::string& port);

  // The stored choice ("0.7/MIDI": "Input_0" …, "Output", and the engine's
  // "ClockSource": "internal", "midi", "link" or "jack"; "JackTransport":
  // "off", "follow" or "lead"; and "LinkStartStopSync").
  void Load(const SettingsStore& settings);
  void Store(SettingsStore& settings) const;

  // Often, and when the wake is signalled: joins ports that appeared, and
  // every few seconds without a system tries them again (a JACK server
  // started, or back).
  void Poll();
  static constexpr std::chrono::seconds kRetryInterval{3};
  // Said to the user, in the status bar or on a terminal.
  void SetMessageHandler(std::function<void(const std::string&)> handler) {
    message_ = std::move(handler);
  }
  // What the last Open said, for the settings dialog.
  const std::string& Status() const { return status_; }

  MidiInput& Input() { return input_; }
  TAudioEngineModule& Engine() { return engine_; }
  MidiWake& Wake() { return wake_; }
  // Plays a message from the output port; false without one.
  bool Send(const MidiEvent& event);

 private:
  void Join();
  void Say(const std::string& text);
  bool TryOpen(bool quiet);

  TAudioEngineModule& engine_;
  std::vector<SystemMaker> systems_;
  MidiWake wake_;
  MidiInput input_{wake_};
  std::unique_ptr<MidiSystem> system_;
  bool attached_ = false;
  std::vector<std::string> wantedInputs_;
  std::string wantedOutput_;
  // What was last said of each port, so a port that stays away is said once.
  std::vector<std::pair<std::string, std::string>> said_;
  std::string status_;
  bool opened_ = false;  // Open was asked for
  std::chrono::steady_clock::time_point lastTry_{};
  std::function<void(const std::string&)> message_;
};

}  // namespace tg
