#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/SpscQueue.h"
#include "engine/midi/MidiClockLink.h"
#include "engine/midi/MidiSystem.h"

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace tg {

// MIDI through a JACK client of the program's own ("Tonegarden", with the
// ports "midi_in" and "midi_out"). Messages are read in the client's process
// callback and stamped with their frame: the cycle's first frame
// (jack_last_frame_time) plus the message's offset, turned into JACK's time
// and from there into the steady clock by an offset measured when the client
// opens. So every message keeps its place to the sample, however the cycles
// fall. Outgoing messages cross to the callback through a lock-free queue.
// The tempo clock's messages are written at the frame where the sound they
// belong to leaves the program's output: the output's device tells which of
// its frames it handed to the server in which cycle (PlayoutMark), reading
// the cycle through this client.
class JackMidiSystem final : public MidiSystem {
 public:
  explicit JackMidiSystem(std::string clientName = "Tonegarden");
  ~JackMidiSystem() override;
  JackMidiSystem(const JackMidiSystem&) = delete;
  JackMidiSystem& operator=(const JackMidiSystem&) = delete;

  std::string SystemName() const override { return "JACK"; }
  bool Open(MidiEventSink& sink, std::string& why) override;
  void Close() override;
  std::vector<std::string> Sources() override;
  std::vector<std::string> Destinations() override;
  std::string ConnectSource(const std::string& port) override;
  std::string DisconnectSource(const std::string& port) override;
  std::string ConnectDestination(const std::string& port) override;
  std::string DisconnectDestination(const std::string& port) override;
  bool IsSourceConnected(const std::string& port) override;
  bool IsDestinationConnected(const std::string& port) override;
  bool Send(const MidiEvent& event) override;
  void SetClockLink(MidiClockLink* link) override { clockLink_ = link; }
  void SetJackTransport(JackTransportClient* transport) override { transport_ = transport; }

  // The full names of the program's own ports ("Tonegarden:midi_in").
  std::string InputPortName() const;
  std::string OutputPortName() const;
  // Whether a JACK server runs now (none is started for asking).
  static bool ServerRuns();

 private:
  static int Process(uint32_t frames, void* self);
  // The cycle's part of the clock: where the program's output stands in it,
  // and the clock messages whose sound leaves the output in it.
  void PlayClock(void* out, uint32_t frames, int64_t cycleStart);
  static void PortRegistered(uint32_t port, int registered, void* self);
  static void ServerGone(void* self);
  // The first frame of the cycle under way, for the output device's thread.
  static uint32_t CycleStart(void* client);
  std::vector<std::string> Ports(unsigned long flags);

  std::string clientName_;
  jack_client_t* client_ = nullptr;
  jack_port_t* in_ = nullptr;
  jack_port_t* out_ = nullptr;
  MidiEventSink* sink_ = nullptr;
  int64_t steadyMinusJack_ = 0;  // nanoseconds
  SpscQueue<MidiEvent, 512> outgoing_;
  std::atomic<bool> serverGone_{false};
  MidiClockLink* clockLink_ = nullptr;
  JackTransportClient* transport_ = nullptr;
  // The process thread's: JACK's frames counted on past their wrap, and a
  // clock message taken early, waiting for its cycle.
  uint32_t lastCycle32_ = 0;
  int64_t cycle64_ = -1;
  MidiClockLink::Message waitingClock_{};
  bool clockWaits_ = false;
  // Where the output's frames stand against the server's in this cycle.
  int64_t serverMinusRendered_ = MidiClockLink::kUnknown;
  uint32_t markRun_ = 0;
};

}  // namespace tg
