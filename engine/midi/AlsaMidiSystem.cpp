#include "engine/midi/AlsaMidiSystem.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <utility>
#include <vector>

#include "engine/devices/PlayoutMark.h"
#include "engine/midi/MidiClockPacer.h"
#include "engine/streams/ThreadPriority.h"

namespace tg {

namespace alsa_midi_system {

// The clock's messages as the sequencer names them, both ways.
constexpr std::pair<snd_seq_event_type_t, uint8_t> kSyncEvents[] = {
    {SND_SEQ_EVENT_CLOCK, MidiEvent::kClock},          {SND_SEQ_EVENT_START, MidiEvent::kStart},
    {SND_SEQ_EVENT_CONTINUE, MidiEvent::kContinue},    {SND_SEQ_EVENT_STOP, MidiEvent::kStop},
    {SND_SEQ_EVENT_SONGPOS, MidiEvent::kSongPosition},
};

std::string PortName(snd_seq_client_info_t* client, snd_seq_port_info_t* port) {
  return std::string(snd_seq_client_info_get_name(client)) + ":" + snd_seq_port_info_get_name(port);
}

}  // namespace alsa_midi_system

AlsaDecoded DecodeAlsaEvent(const snd_seq_event& e, int64_t now) {
  AlsaDecoded d;
  auto add = [&d, now](uint8_t kind, int channel, int data1, int data2) {
    d.events[static_cast<size_t>(d.count++)] = MidiEvent::Make(now, kind, channel, data1, data2);
  };
  switch (e.type) {
    case SND_SEQ_EVENT_NOTEON:
      add(MidiEvent::kNoteOn, e.data.note.channel, e.data.note.note, e.data.note.velocity);
      break;
    case SND_SEQ_EVENT_NOTEOFF:
      add(MidiEvent::kNoteOff, e.data.note.channel, e.data.note.note, e.data.note.velocity);
      break;
    case SND_SEQ_EVENT_CONTROLLER:
      if (e.data.control.param < 128)
        add(MidiEvent::kController, e.data.control.channel, static_cast<int>(e.data.control.param),
            e.data.control.value);
      break;
    case SND_SEQ_EVENT_CONTROL14:
      // The sequencer joins a controller's halves when it can: parted again,
      // as a controller sends them.
      if (e.data.control.param < 32) {
        const int value = e.data.control.value;
        add(MidiEvent::kController, e.data.control.channel, static_cast<int>(e.data.control.param),
            (value >> 7) & 0x7F);
        add(MidiEvent::kController, e.data.control.channel,
            static_cast<int>(e.data.control.param) + 32, value & 0x7F);
      } else if (e.data.control.param < 128) {
        add(MidiEvent::kController, e.data.control.channel, static_cast<int>(e.data.control.param),
            e.data.control.value & 0x7F);
      }
      break;
    case SND_SEQ_EVENT_PGMCHANGE:
      add(MidiEvent::kProgram, e.data.control.channel, e.data.control.value, 0);
      break;
    case SND_SEQ_EVENT_PITCHBEND: {
      const int value = e.data.control.value + 8192;  // -8192 … 8191 on the wire's 0 … 16383
      add(MidiEvent::kPitchBend, e.data.control.channel, value & 0x7F, (value >> 7) & 0x7F);
      break;
    }
    case SND_SEQ_EVENT_CLIENT_START:
    case SND_SEQ_EVENT_CLIENT_EXIT:
    case SND_SEQ_EVENT_PORT_START:
    case SND_SEQ_EVENT_PORT_EXIT:
    case SND_SEQ_EVENT_PORT_CHANGE:
      d.portsChanged = true;
      break;
    default:
      for (const auto& [type, status] : alsa_midi_system::kSyncEvents) {
        if (e.type != type) continue;
        d.events[static_cast<size_t>(d.count++)] =
            status == MidiEvent::kSongPosition
                ? MidiEvent::SongPosition(now, std::clamp(e.data.control.value, 0, 16383))
                : MidiEvent{now, status};
      }
      break;
  }
  return d;
}

AlsaMidiSystem::~AlsaMidiSystem() { Close(); }

bool AlsaMidiSystem::Open(MidiEventSink& sink, std::string& why) {
  Close();
  snd_seq_t* seq = nullptr;
  if (const int error = snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
      error < 0) {
    why = std::string("the ALSA sequencer cannot be opened: ") + snd_strerror(error);
    return false;
  }
  snd_seq_set_client_name(seq, "Tonegarden");
  const int in = snd_seq_create_simple_port(
      seq, "MIDI In", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  const int out = snd_seq_create_simple_port(
      seq, "MIDI Out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (in < 0 || out < 0) {
    why = std::string("the ALSA sequencer gave no ports: ") + snd_strerror(in < 0 ? in : out);
    snd_seq_close(seq);
    return false;
  }
  // Ports that come and go are announced here.
  snd_seq_connect_from(seq, in, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
  seq_ = seq;
  ownClient_ = snd_seq_client_id(seq);
  inPort_ = in;
  outPort_ = out;
  sink_ = &sink;
  stop_.Clear();
  running_ = true;
  reader_ = std::thread([this] { Read(); });
  if (clockLink_ != nullptr) pacer_ = std::thread([this] { PaceClock(); });
  return true;
}

void AlsaMidiSystem::Close() {
  if (reader_.joinable()) {
    {
      std::lock_guard lock(paceMutex_);
      running_ = false;
    }
    stop_.Signal();
    paceWake_.notify_all();
    reader_.join();
    if (pacer_.joinable()) pacer_.join();
  }
  std::lock_guard lock(mutex_);
  if (seq_ != nullptr) snd_seq_close(seq_);
  seq_ = nullptr;
  sink_ = nullptr;
}

void AlsaMidiSystem::Read() {
  std::vector<pollfd> fds;
  {
    std::lock_guard lock(mutex_);
    const int n = snd_seq_poll_descriptors_count(seq_, POLLIN);
    fds.resize(static_cast<size_t>(n) + 1);
    snd_seq_poll_descriptors(seq_, fds.data(), static_cast<unsigned int>(n), POLLIN);
  }
  fds.back() = {stop_.Fd(), POLLIN, 0};
  while (running_) {
    if (::poll(fds.data(), fds.size(), -1) < 0) continue;
    if (!running_) break;
    std::lock_guard lock(mutex_);
    snd_seq_event_t* e = nullptr;
    while (snd_seq_event_input(seq_, &e) >= 0 && e != nullptr) {
      const AlsaDecoded d = DecodeAlsaEvent(*e, SteadyNanoseconds());
      for (int i = 0; i < d.count; ++i) sink_->Received(d.events[static_cast<size_t>(i)]);
      if (d.portsChanged) sink_->PortsChanged();
    }
  }
}

void AlsaMidiSystem::PaceClock() {
  // Messages are handed over an output buffer ahead of being heard: looking
  // for new ones this often loses no time.
  constexpr int64_t kLookNanoseconds = 2'000'000;
  // On time beside the audio threads on a busy machine, where the system grants it.
  SetCurrentThreadPriority(ThreadPriority::TimeCritical);
  MidiClockPacer pacer(*clockLink_);
  std::unique_lock lock(paceMutex_);
  while (running_) {
    PlayoutMark::Reading mark;
    const bool known = PlayoutMark::Program().Read(mark);
    const int64_t now = SteadyNanoseconds();
    const std::optional<int64_t> next =
        pacer.SendDue(now, known ? &mark : nullptr, [this](const MidiEvent& e) { Send(e); });
    const int64_t wait =
        next ? std::clamp<int64_t>(*next - now, 0, kLookNanoseconds) : kLookNanoseconds;
    paceWake_.wait_for(lock, std::chrono::nanoseconds(wait), [this] { return !running_; });
  }
}

std::vector<std::string> AlsaMidiSystem::Ports(unsigned int capabilities) {
  std::vector<std::string> names;
  std::lock_guard lock(mutex_);
  if (seq_ == nullptr) return names;
  snd_seq_client_info_t* client = nullptr;
  snd_seq_port_info_t* port = nullptr;
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&port);
  snd_seq_client_info_set_client(client, -1);
  while (snd_seq_query_next_client(seq_, client) >= 0) {
    const int id = snd_seq_client_info_get_client(client);
    if (id == ownClient_ || id == SND_SEQ_CLIENT_SYSTEM) continue;
    snd_seq_port_info_set_client(port, id);
    snd_seq_port_info_set_port(port, -1);
    while (snd_seq_query_next_port(seq_, port) >= 0) {
      const unsigned int caps = snd_seq_port_info_get_capability(port);
      if ((caps & capabilities) == capabilities && (caps & SND_SEQ_PORT_CAP_NO_EXPORT) == 0)
        names.push_back(alsa_midi_system::PortName(client, port));
    }
  }
  return names;
}

std::vector<std::string> AlsaMidiSystem::Sources() {
  return Ports(SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ);
}

std::vector<std::string> AlsaMidiSystem::Destinations() {
  return Ports(SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
}

bool AlsaMidiSystem::Find(const std::string& name, Address& address) {
  std::lock_guard lock(mutex_);
  if (seq_ == nullptr) return false;
  snd_seq_client_info_t* client = nullptr;
  snd_seq_port_info_t* port = nullptr;
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&port);
  snd_seq_client_info_set_client(client, -1);
  while (snd_seq_query_next_client(seq_, client) >= 0) {
    snd_seq_port_info_set_client(port, snd_seq_client_info_get_client(client));
    snd_seq_port_info_set_port(port, -1);
    while (snd_seq_query_next_port(seq_, port) >= 0) {
      if (alsa_midi_system::PortName(client, port) != name) continue;
      address = {snd_seq_port_info_get_client(port), snd_seq_port_info_get_port(port)};
      return true;
    }
  }
  return false;
}

std::string AlsaMidiSystem::ConnectSource(const std::string& port) {
  Address a;
  if (!Find(port, a)) return "there is no such port";
  std::lock_guard lock(mutex_);
  const int error = snd_seq_connect_from(seq_, inPort_, a.client, a.port);
  return error >= 0 || error == -EBUSY ? std::string() : snd_strerror(error);
}

std::string AlsaMidiSystem::DisconnectSource(const std::string& port) {
  Address a;
  if (!Find(port, a)) return {};
  std::lock_guard lock(mutex_);
  snd_seq_disconnect_from(seq_, inPort_, a.client, a.port);
  return {};
}

std::string AlsaMidiSystem::ConnectDestination(const std::string& port) {
  Address a;
  if (!Find(port, a)) return "there is no such port";
  std::lock_guard lock(mutex_);
  const int error = snd_seq_connect_to(seq_, outPort_, a.client, a.port);
  return error >= 0 || error == -EBUSY ? std::string() : snd_strerror(error);
}

std::string AlsaMidiSystem::DisconnectDestination(const std::string& port) {
  Address a;
  if (!Find(port, a)) return {};
  std::lock_guard lock(mutex_);
  snd_seq_disconnect_to(seq_, outPort_, a.client, a.port);
  return {};
}

bool AlsaMidiSystem::Subscribed(bool toInput, const Address& other) {
  std::lock_guard lock(mutex_);
  if (seq_ == nullptr) return false;
  snd_seq_port_subscribe_t* subscription = nullptr;
  snd_seq_port_subscribe_alloca(&subscription);
  snd_seq_addr_t own{static_cast<unsigned char>(ownClient_),
                     static_cast<unsigned char>(toInput ? inPort_ : outPort_)};
  snd_seq_addr_t them{static_cast<unsigned char>(other.client),
                      static_cast<unsigned char>(other.port)};
  snd_seq_port_subscribe_set_sender(subscription, toInput ? &them : &own);
  snd_seq_port_subscribe_set_dest(subscription, toInput ? &own : &them);
  return snd_seq_get_port_subscription(seq_, subscription) >= 0;
}

bool AlsaMidiSystem::IsSourceConnected(const std::string& port) {
  Address a;
  return Find(port, a) && Subscribed(true, a);
}

bool AlsaMidiSystem::IsDestinationConnected(const std::string& port) {
  Address a;
  return Find(port, a) && Subscribed(false, a);
}

bool AlsaMidiSystem::Send(const MidiEvent& event) {
  std::lock_guard lock(mutex_);
  if (seq_ == nullptr) return false;
  snd_seq_event_t e;
  snd_seq_ev_clear(&e);
  snd_seq_ev_set_source(&e, outPort_);
  snd_seq_ev_set_subs(&e);
  snd_seq_ev_set_direct(&e);
  const auto channel = static_cast<unsigned char>(event.Channel());
  switch (event.Kind()) {
    case MidiEvent::kNoteOn:
      snd_seq_ev_set_noteon(&e, channel, event.data1, event.data2);
      break;
    case MidiEvent::kNoteOff:
      snd_seq_ev_set_noteoff(&e, channel, event.data1, event.data2);
      break;
    case MidiEvent::kController:
      snd_seq_ev_set_controller(&e, channel, event.data1, event.data2);
      break;
    case MidiEvent::kProgram:
      snd_seq_ev_set_pgmchange(&e, channel, event.data1);
      break;
    case MidiEvent::kPitchBend:
      snd_seq_ev_set_pitchbend(&e, channel, ((event.data2 << 7) | event.data1) - 8192);
      break;
    default: {
      const auto* sync = std::find_if(
          std::begin(alsa_midi_system::kSyncEvents), std::end(alsa_midi_system::kSyncEvents),
          [&event](const auto& pair) { return pair.second == event.status; });
      if (sync == std::end(alsa_midi_system::kSyncEvents)) return false;
      e.type = sync->first;
      if (event.status == MidiEvent::kSongPosition)
        e.data.control.value = event.SongPositionSixteenths();
      snd_seq_ev_set_fixed(&e);
    }
  }
  return snd_seq_event_output_direct(seq_, &e) >= 0;
}

}  // namespace tg
