#pragma once

#include <string>
#include <vector>

#include "engine/midi/MidiEvent.h"

namespace tg {

class JackTransportClient;
class MidiClockLink;

// Told by a MIDI system's own threads. Neither call may block or allocate.
class MidiEventSink {
 public:
  virtual ~MidiEventSink() = default;
  // A message arrived at the program's input, stamped on the steady clock.
  virtual void Received(const MidiEvent& event) noexcept = 0;
  // Ports of other programs appeared or went (a controller plugged in or out).
  virtual void PortsChanged() noexcept = 0;
  // The system itself went away (a JACK server that stopped).
  virtual void SystemLost() noexcept = 0;
};

// One client of a MIDI system (JACK or the ALSA sequencer) with one input and
// one output port of the program's own. Ports of other programs are named as
// the system names them ("client:port"). Operations are for the
// user-interface thread; events reach the sink on the system's thread.
class MidiSystem {
 public:
  virtual ~MidiSystem() = default;
  // "JACK", "ALSA sequencer".
  virtual std::string SystemName() const = 0;
  // Opens the client and its ports; false, with why, when the system is not there.
  virtual bool Open(MidiEventSink& sink, std::string& why) = 0;
  virtual void Close() = 0;
  // Ports that play into others (what the program can listen to), and ports
  // that take what others play (where the program can send to).
  virtual std::vector<std::string> Sources() = 0;
  virtual std::vector<std::string> Destinations() = 0;
  // Joins a source to the program's input, or the output to a destination,
  // and parts them again. Empty when done (or already so), else why not.
  virtual std::string ConnectSource(const std::string& port) = 0;
  virtual std::string DisconnectSource(const std::string& port) = 0;
  virtual std::string ConnectDestination(const std::string& port) = 0;
  virtual std::string DisconnectDestination(const std::string& port) = 0;
  // Whether a source is joined to the program's input now (or the output to
  // a destination).
  virtual bool IsSourceConnected(const std::string& port) = 0;
  virtual bool IsDestinationConnected(const std::string& port) = 0;
  // Plays a message from the program's output; false when it could not be queued.
  virtual bool Send(const MidiEvent& event) = 0;
  // Where the tempo clock's messages come from, and where the system tells
  // the server's frames; before Open. A system without frames ignores it.
  virtual void SetClockLink(MidiClockLink*) {}
  // The JACK transport, read and led through the system's own client; before
  // Open. A system that is not JACK ignores it.
  virtual void SetJackTransport(JackTransportClient*) {}
};

}  // namespace tg
