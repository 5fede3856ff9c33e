#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/midi/MidiSystem.h"
#include "engine/midi/MidiWake.h"

struct snd_seq_event;
typedef struct _snd_seq snd_seq_t;

namespace tg {

// What one sequencer event means to the program: up to two channel messages
// (a 14-bit controller arrives as its two halves), a message of the clock, or
// news of ports that came or went.
struct AlsaDecoded {
  std::array<MidiEvent, 2> events{};
  int count = 0;
  bool portsChanged = false;
};
AlsaDecoded DecodeAlsaEvent(const snd_seq_event& event, int64_t nowNanoseconds);

// MIDI through the ALSA sequencer, for machines without JACK: a client
// "Tonegarden" with the ports "MIDI In" and "MIDI Out", listening to the
// system's announcements, so ports that come and go are seen. A thread of
// its own reads the sequencer and stamps each message as it arrives; another
// plays the tempo clock, each message when its frame is heard.
// A machine without /dev/snd (a server, a container, these build machines)
// has no sequencer: Open then says so and the program goes on without it.
class AlsaMidiSystem final : public MidiSystem {
 public:
  AlsaMidiSystem() = default;
  ~AlsaMidiSystem() override;
  AlsaMidiSystem(const AlsaMidiSystem&) = delete;
  AlsaMidiSystem& operator=(const AlsaMidiSystem&) = delete;

  std::string SystemName() const override { return "ALSA sequencer"; }
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

 private:
  struct Address {
    int client = -1;
    int port = -1;
  };
  void Read();
  void PaceClock();
  std::vector<std::string> Ports(unsigned int capabilities);
  bool Find(const std::string& name, Address& address);
  bool Subscribed(bool toInput, const Address& other);

  // Every sequencer call but the reading thread's wait holds this.
  std::mutex mutex_;
  snd_seq_t* seq_ = nullptr;
  int ownClient_ = -1;
  int inPort_ = -1;
  int outPort_ = -1;
  MidiEventSink* sink_ = nullptr;
  MidiWake stop_;
  std::atomic<bool> running_{false};
  std::thread reader_;
  MidiClockLink* clockLink_ = nullptr;
  std::mutex paceMutex_;
  std::condition_variable paceWake_;
  std::thread pacer_;
};

}  // namespace tg
