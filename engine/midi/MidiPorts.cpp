#include "engine/midi/MidiPorts.h"

#include <algorithm>

#include "engine/TAudioEngineModule.h"
#include "engine/midi/AlsaMidiSystem.h"
#include "engine/midi/JackMidiSystem.h"
#include "host/SettingsStore.h"

namespace tg {

namespace midi_ports {

constexpr int kMostStoredInputs = 64;

bool Holds(const std::vector<std::string>& list, const std::string& name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

}  // namespace midi_ports

MidiPorts::MidiPorts(TAudioEngineModule& engine, std::vector<SystemMaker> systems)
    : engine_(engine), systems_(std::move(systems)) {}

MidiPorts::~MidiPorts() {
  if (attached_) engine_.DetachMidiInput(input_);
  if (system_ != nullptr) system_->Close();
}

std::vector<MidiPorts::SystemMaker> MidiPorts::StandardSystems() {
  return {[] { return std::make_unique<JackMidiSystem>(); },
          [] { return std::make_unique<AlsaMidiSystem>(); }};
}

bool MidiPorts::Open() {
  opened_ = true;
  return TryOpen(false);
}

bool MidiPorts::TryOpen(bool quiet) {
  lastTry_ = std::chrono::steady_clock::now();
  if (system_ != nullptr) system_->Close();
  system_.reset();
  std::string whyNot;
  for (const SystemMaker& make : systems_) {
    std::unique_ptr<MidiSystem> system = make();
    system->SetClockLink(&engine_.ClockSync().Link());
    system->SetJackTransport(&engine_.JackClient());
    std::string why;
    if (system->Open(input_, why)) {
      system_ = std::move(system);
      break;
    }
    whyNot += (whyNot.empty() ? "" : "; ") + why;
  }
  if (system_ == nullptr) {
    const std::string status =
        "No MIDI: " + (whyNot.empty() ? std::string("no MIDI system is known") : whyNot);
    if (!quiet || status != status_) Say(status);
    status_ = status;
    return false;
  }
  if (!attached_) attached_ = engine_.AttachMidiInput(input_);
  status_ = "MIDI through " + system_->SystemName();
  if (quiet) Say(status_);
  said_.clear();
  Join();
  return true;
}

std::string MidiPorts::SystemName() const {
  return system_ == nullptr ? std::string() : system_->SystemName();
}

std::vector<std::string> MidiPorts::Sources() {
  return system_ == nullptr ? std::vector<std::string>() : system_->Sources();
}

std::vector<std::string> MidiPorts::Destinations() {
  return system_ == nullptr ? std::vector<std::string>() : system_->Destinations();
}

void MidiPorts::SetWantedInputs(std::vector<std::string> ports) {
  ports.erase(std::remove(ports.begin(), ports.end(), std::string()), ports.end());
  if (system_ != nullptr) {
    for (const std::string& old : wantedInputs_) {
      if (!midi_ports::Holds(ports, old)) system_->DisconnectSource(old);
    }
  }
  wantedInputs_ = std::move(ports);
  said_.clear();
  Join();
}

void MidiPorts::SetWantedOutput(std::string port) {
  if (system_ != nullptr && !wantedOutput_.empty() && wantedOutput_ != port)
    system_->DisconnectDestination(wantedOutput_);
  wantedOutput_ = std::move(port);
  said_.clear();
  Join();
}

bool MidiPorts::IsJoined(const std::string& port) {
  if (system_ == nullptr) return false;
  return port == wantedOutput_ ? system_->IsDestinationConnected(port)
                               : system_->IsSourceConnected(port);
}

void MidiPorts::Join() {
  if (system_ == nullptr) return;
  const std::vector<std::string> sources = system_->Sources();
  const std::vector<std::string> destinations = system_->Destinations();
  auto join = [this](const std::string& port, bool present, bool connected, bool input,
                     const std::function<std::string()>& connect) {
    std::string said;
    if (!present) {
      said = "MIDI " + std::string(input ? "input" : "output") + " \"" + port +
             "\" is not there; it is joined when it appears";
    } else if (!connected) {
      const std::string why = connect();
      if (!why.empty())
        said = "MIDI " + std::string(input ? "input" : "output") + " \"" + port +
               "\" cannot be joined: " + why;
    }
    auto it =
        std::find_if(said_.begin(), said_.end(), [&](const auto& s) { return s.first == port; });
    if (it == said_.end()) {
      said_.emplace_back(port, std::string());
      it = said_.end() - 1;
    }
    if (said != it->second && !said.empty()) Say(said);
    it->second = said;
  };
  for (const std::string& port : wantedInputs_) {
    join(port, midi_ports::Holds(sources, port),
         midi_ports::Holds(sources, port) && system_->IsSourceConnected(port), true,
         [&] { return system_->ConnectSource(port); });
  }
  if (!wantedOutput_.empty()) {
    const bool present = midi_ports::Holds(destinations, wantedOutput_);
    join(wantedOutput_, present, present && system_->IsDestinationConnected(wantedOutput_), false,
         [&] { return system_->ConnectDestination(wantedOutput_); });
  }
}

void MidiPorts::Poll() {
  wake_.Clear();
  if (input_.TakeSystemLost()) {
    Say(SystemName() + " went away; MIDI is off until it is back");
    if (system_ != nullptr) system_->Close();
    system_.reset();
  }
  if (input_.TakePortsChanged()) Join();
  if (opened_ && system_ == nullptr &&
      std::chrono::steady_clock::now() - lastTry_ >= kRetryInterval)
    TryOpen(true);
}

void MidiPorts::Load(const SettingsStore& settings) {
  const std::string group = SettingsGroup("MIDI");
  std::vector<std::string> inputs;
  for (int i = 0; i < midi_ports::kMostStoredInputs; ++i) {
    const auto name = settings.ReadString(group, "Input_" + std::to_string(i));
    if (!name) break;
    inputs.push_back(*name);
  }
  wantedInputs_ = std::move(inputs);
  wantedOutput_ = settings.ReadString(group, "Output").value_or("");
  engine_.SetLinkStartStopSync(settings.ReadBool(group, "LinkStartStopSync").value_or(false));
  if (const auto word = settings.ReadString(group, "ClockSource")) {
    if (const auto source = ClockSourceFromWord(*word)) {
      engine_.SetClockSource(*source);
    } else {
      Say("The stored clock source \"" + *word + "\" is unknown; the program's own clock leads");
      engine_.SetClockSource(ClockSource::Internal);
    }
  }
  if (const auto word = settings.ReadString(group, "JackTransport")) {
    if (const auto mode = JackTransportFromWord(*word)) {
      engine_.SetJackTransport(*mode);
    } else {
      Say("The stored JACK transport setting \"" + *word + "\" is unknown; JACK transport is off");
      engine_.SetJackTransport(JackTransportMode::Off);
    }
  }
  said_.clear();
  Join();
}

void MidiPorts::Store(SettingsStore& settings) const {
  const std::string group = SettingsGroup("MIDI");
  for (int i = 0; i < midi_ports::kMostStoredInputs; ++i) {
    const std::string key = "Input_" + std::to_string(i);
    if (static_cast<size_t>(i) < wantedInputs_.size()) {
      settings.WriteString(group, key, wantedInputs_[static_cast<size_t>(i)]);
    } else if (settings.ReadString(group, key)) {
      settings.Remove(group, key);
    } else {
      break;
    }
  }
  settings.WriteString(group, "Output", wantedOutput_);
  settings.WriteString(group, "ClockSource",
                       std::string(ClockSourceWord(engine_.GetClockSource())));
  settings.WriteString(group, "JackTransport",
                       std::string(JackTransportWord(engine_.GetJackTransport())));
  settings.WriteBool(group, "LinkStartStopSync", engine_.LinkStartStopSync());
}

bool MidiPorts::Send(const MidiEvent& event) {
  return system_ != nullptr && !wantedOutput_.empty() && system_->Send(event);
}

void MidiPorts::Say(const std::string& text) {
  if (message_) message_(text);
}

}  // namespace tg
