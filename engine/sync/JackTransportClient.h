#pragma once

#include <jack/types.h>

#include <cstdint>

#include "engine/sync/JackTransportLink.h"

namespace tg {

// The JACK transport through the program's own JACK client (the MIDI one):
// each cycle its process thread reads where the transport stands and leaves
// it for the audio thread; leading, the client is the timebase master and
// fills each cycle's bar, beat and tick from the clock as it leaves the
// output. Commands to the transport are for the user-interface thread.
class JackTransportClient {
 public:
  static constexpr int kTicksPerBeat = 1920;

  explicit JackTransportClient(JackTransportLink& link) : link_(link) {}
  JackTransportClient(const JackTransportClient&) = delete;
  JackTransportClient& operator=(const JackTransportClient&) = delete;

  // UI thread, by the JACK MIDI system: its client opened (not active yet),
  // or went (no longer active; the server may be gone).
  void Attach(jack_client_t* client);
  void Detach(bool serverGone);
  bool Attached() const { return client_ != nullptr; }
  // The server's frames a second (0 without a client).
  uint32_t SampleRate() const { return sampleRate_; }

  // UI thread: the program leads the transport as its timebase master, now
  // and whenever a client attaches.
  void SetLeading(bool lead);
  bool IsTimebaseMaster() const { return master_; }

  // UI thread; each does nothing without a client. JACK takes them up in a
  // later cycle.
  void Start();
  void Stop();
  void Locate(int64_t frame);

  // JACK's process thread, once a cycle: its first frame, its length, and
  // the server's frame minus the rendered frame that leaves the output then.
  void Cycle(int64_t cycleStart, uint32_t frames, int64_t serverMinusRendered);

 private:
  static void Timebase(jack_transport_state_t state, jack_nframes_t frames, jack_position_t* pos,
                       int newPosition, void* self);
  void FillBarBeatTick(jack_nframes_t frames, jack_position_t& pos) const;
  void BecomeMaster();

  JackTransportLink& link_;
  jack_client_t* client_ = nullptr;
  uint32_t sampleRate_ = 0;
  bool leading_ = false;
  bool master_ = false;
  // The process thread's: the cycle under way, as Cycle read it.
  int64_t cycleStart_ = 0;
  uint32_t transportFrame_ = 0;
  int64_t serverMinusRendered_ = JackTransportReading::kUnknown;
};

}  // namespace tg
