#include "engine/midi/JackMidiSystem.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>

#include "engine/devices/PlayoutMark.h"
#include "engine/sync/JackTransportClient.h"

namespace tg {

namespace jack_midi_system {

void QuietJackMidi(const char*) {}

std::string JackWhy(int result) { return "JACK refused (error " + std::to_string(result) + ")"; }

}  // namespace jack_midi_system

JackMidiSystem::JackMidiSystem(std::string clientName) : clientName_(std::move(clientName)) {}

JackMidiSystem::~JackMidiSystem() { Close(); }

bool JackMidiSystem::ServerRuns() {
  jack_set_error_function(jack_midi_system::QuietJackMidi);
  jack_set_info_function(jack_midi_system::QuietJackMidi);
  jack_status_t status{};
  jack_client_t* probe = jack_client_open("tonegarden-probe", JackNoStartServer, &status);
  if (probe == nullptr) return false;
  jack_client_close(probe);
  return true;
}

bool JackMidiSystem::Open(MidiEventSink& sink, std::string& why) {
  Close();
  // A machine without a server is no error: the libraries need not say so.
  jack_set_error_function(jack_midi_system::QuietJackMidi);
  jack_set_info_function(jack_midi_system::QuietJackMidi);
  jack_status_t status{};
  client_ = jack_client_open(clientName_.c_str(), JackNoStartServer, &status);
  if (client_ == nullptr) {
    why = "no JACK server runs";
    return false;
  }
  sink_ = &sink;
  serverGone_ = false;
  cycle64_ = -1;
  clockWaits_ = false;
  in_ = jack_port_register(client_, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  out_ = jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  if (in_ == nullptr || out_ == nullptr) {
    why = "JACK gave the program no MIDI ports";
    Close();
    return false;
  }
  jack_set_process_callback(client_, &JackMidiSystem::Process, this);
  jack_set_port_registration_callback(client_, &JackMidiSystem::PortRegistered, this);
  jack_on_shutdown(client_, &JackMidiSystem::ServerGone, this);
  // JACK's microseconds and the steady clock, read side by side.
  const int64_t before = SteadyNanoseconds();
  const auto jackNow = static_cast<int64_t>(jack_get_time());
  const int64_t after = SteadyNanoseconds();
  steadyMinusJack_ = before + (after - before) / 2 - jackNow * 1000;
  PlayoutMark::Program().LendServerClock(&JackMidiSystem::CycleStart, client_);
  if (transport_ != nullptr) transport_->Attach(client_);
  if (const int result = jack_activate(client_); result != 0) {
    why = "JACK did not start the program's MIDI client (error " + std::to_string(result) + ")";
    Close();
    return false;
  }
  return true;
}

uint32_t JackMidiSystem::CycleStart(void* client) {
  return jack_last_frame_time(static_cast<jack_client_t*>(client));
}

void JackMidiSystem::Close() {
  if (client_ == nullptr) return;
  PlayoutMark::Program().TakeBackServerClock(client_);
  if (!serverGone_) jack_deactivate(client_);
  if (transport_ != nullptr) transport_->Detach(serverGone_);
  jack_client_close(client_);
  client_ = nullptr;
  in_ = out_ = nullptr;
  sink_ = nullptr;
  MidiEvent dropped;
  while (outgoing_.Pop(dropped)) {
  }
}

int JackMidiSystem::Process(uint32_t frames, void* self) {
  auto& s = *static_cast<JackMidiSystem*>(self);
  void* in = jack_port_get_buffer(s.in_, frames);
  const jack_nframes_t cycleStart = jack_last_frame_time(s.client_);
  s.cycle64_ =
      s.cycle64_ < 0 ? cycleStart : s.cycle64_ + static_cast<uint32_t>(cycleStart - s.lastCycle32_);
  s.lastCycle32_ = cycleStart;
  const uint32_t count = jack_midi_get_event_count(in);
  for (uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t e;
    if (jack_midi_event_get(&e, in, i) != 0 || e.size < 1 || e.size > 3) continue;
    MidiEvent event;
    event.status = e.buffer[0];
    if (MidiEvent::IsSync(event.status)) {
      if (static_cast<int>(e.size) != event.Size()) continue;
    } else if (e.size < 2 || !MidiEvent::IsUsable(event.status)) {
      continue;
    }
    const jack_time_t at = jack_frames_to_time(s.client_, cycleStart + e.time);
    event.time = static_cast<int64_t>(at) * 1000 + s.steadyMinusJack_;
    event.frame = s.cycle64_ + e.time;
    event.data1 = e.size > 1 ? (e.buffer[1] & 0x7F) : 0;
    event.data2 = e.size > 2 ? (e.buffer[2] & 0x7F) : 0;
    s.sink_->Received(event);
  }
  void* out = jack_port_get_buffer(s.out_, frames);
  jack_midi_clear_buffer(out);
  MidiEvent event;
  while (s.outgoing_.Pop(event)) {
    const jack_midi_data_t bytes[3] = {event.status, event.data1, event.data2};
    jack_midi_event_write(out, 0, bytes, static_cast<size_t>(event.Size()));
  }
  if (s.clockLink_ != nullptr) s.PlayClock(out, frames, s.cycle64_);
  if (s.transport_ != nullptr)
    s.transport_->Cycle(s.cycle64_, frames,
                        s.clockLink_ != nullptr ? s.serverMinusRendered_ : MidiClockLink::kUnknown);
  return 0;
}

void JackMidiSystem::PlayClock(void* out, uint32_t frames, int64_t cycleStart) {
  MidiClockLink& link = *clockLink_;
  link.SetServerFrame(cycleStart);
  // The output's frames in this cycle: its device hands them over once a
  // cycle, before this client runs or after; if not yet in this one, they
  // follow those it handed over in the last.
  // A cycle that cannot tell (the device skipped one, or wrote while this
  // read) keeps the difference before: it changes only when the output
  // runs dry, and a clock on two scales would bend the tempo.
  PlayoutMark::Reading mark;
  const bool read = PlayoutMark::Program().Read(mark);
  if (mark.run != markRun_) {  // another output: nothing is known of it yet
    markRun_ = mark.run;
    serverMinusRendered_ = MidiClockLink::kUnknown;
  }
  if (read && mark.serverCycle >= 0) {
    const auto cycle32 = static_cast<uint32_t>(cycleStart);
    const auto markCycle = static_cast<uint32_t>(mark.serverCycle);
    if (markCycle == cycle32) {
      serverMinusRendered_ = cycleStart - mark.framesBefore;
    } else if (cycle32 - markCycle == frames) {
      serverMinusRendered_ = cycleStart - mark.framesBefore - mark.frames;
    }
  }
  const int64_t serverMinusRendered = serverMinusRendered_;
  link.SetServerMinusRendered(serverMinusRendered);

  const uint32_t run = link.Run();
  for (;;) {
    if (!clockWaits_) {
      if (!link.Pop(waitingClock_)) break;
      clockWaits_ = true;
    }
    const MidiClockLink::Message& m = waitingClock_;
    if (m.run != run) {  // of an output run that ended
      clockWaits_ = false;
      continue;
    }
    int64_t offset = 0;
    if (serverMinusRendered != MidiClockLink::kUnknown) {
      offset = m.renderedFrame + serverMinusRendered - cycleStart;
      if (offset >= static_cast<int64_t>(frames)) break;  // a later cycle's
      // Late by more than a cycle: its moment has gone (others go at once).
      if (offset < -static_cast<int64_t>(frames) && m.LostWhenLate()) {
        clockWaits_ = false;
        continue;
      }
    }
    const MidiEvent e{0, m.status, m.data1, m.data2};
    const jack_midi_data_t bytes[3] = {m.status, m.data1, m.data2};
    jack_midi_event_write(out, static_cast<jack_nframes_t>(std::max<int64_t>(offset, 0)), bytes,
                          static_cast<size_t>(e.Size()));
    clockWaits_ = false;
  }
}

void JackMidiSystem::PortRegistered(uint32_t, int, void* self) {
  auto& s = *static_cast<JackMidiSystem*>(self);
  if (s.sink_ != nullptr) s.sink_->PortsChanged();
}

void JackMidiSystem::ServerGone(void* self) {
  auto& s = *static_cast<JackMidiSystem*>(self);
  s.serverGone_ = true;
  if (s.sink_ != nullptr) s.sink_->SystemLost();
}

std::vector<std::string> JackMidiSystem::Ports(unsigned long flags) {
  std::vector<std::string> names;
  if (client_ == nullptr || serverGone_) return names;
  const char** ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  if (ports == nullptr) return names;
  const std::string own = std::string(jack_get_client_name(client_)) + ":";
  for (const char** p = ports; *p != nullptr; ++p) {
    if (std::string(*p).rfind(own, 0) != 0) names.emplace_back(*p);
  }
  jack_free(ports);
  return names;
}

std::vector<std::string> JackMidiSystem::Sources() { return Ports(JackPortIsOutput); }
std::vector<std::string> JackMidiSystem::Destinations() { return Ports(JackPortIsInput); }

std::string JackMidiSystem::InputPortName() const {
  return client_ == nullptr ? std::string() : jack_port_name(in_);
}

std::string JackMidiSystem::OutputPortName() const {
  return client_ == nullptr ? std::string() : jack_port_name(out_);
}

std::string JackMidiSystem::ConnectSource(const std::string& port) {
  if (client_ == nullptr || serverGone_) return "JACK is not running";
  if (jack_port_by_name(client_, port.c_str()) == nullptr) return "there is no such port";
  const int result = jack_connect(client_, port.c_str(), jack_port_name(in_));
  return result == 0 || result == EEXIST ? std::string() : jack_midi_system::JackWhy(result);
}

std::string JackMidiSystem::DisconnectSource(const std::string& port) {
  if (client_ == nullptr || serverGone_) return {};
  const int result = jack_disconnect(client_, port.c_str(), jack_port_name(in_));
  return result == 0 || !IsSourceConnected(port) ? std::string()
                                                 : jack_midi_system::JackWhy(result);
}

std::string JackMidiSystem::ConnectDestination(const std::string& port) {
  if (client_ == nullptr || serverGone_) return "JACK is not running";
  if (jack_port_by_name(client_, port.c_str()) == nullptr) return "there is no such port";
  const int result = jack_connect(client_, jack_port_name(out_), port.c_str());
  return result == 0 || result == EEXIST ? std::string() : jack_midi_system::JackWhy(result);
}

std::string JackMidiSystem::DisconnectDestination(const std::string& port) {
  if (client_ == nullptr || serverGone_) return {};
  const int result = jack_disconnect(client_, jack_port_name(out_), port.c_str());
  return result == 0 || !IsDestinationConnected(port) ? std::string()
                                                      : jack_midi_system::JackWhy(result);
}

bool JackMidiSystem::IsSourceConnected(const std::string& port) {
  return client_ != nullptr && !serverGone_ && jack_port_connected_to(in_, port.c_str()) != 0;
}

bool JackMidiSystem::IsDestinationConnected(const std::string& port) {
  return client_ != nullptr && !serverGone_ && jack_port_connected_to(out_, port.c_str()) != 0;
}

bool JackMidiSystem::Send(const MidiEvent& event) {
  return client_ != nullptr && !serverGone_ && outgoing_.Push(event);
}

}  // namespace tg
