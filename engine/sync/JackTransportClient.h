#pragma once

#include <jack/types.h>

#include <atomic>
#include <cstdint>

#include "engine/sync/JackTransportLink.h"

namespace tg {

// The JACK transport through the program's own JACK client (the MIDI one):
// each cycle its process thread reads where the transport stands and leaves
// it for the audio thread. Leading, the client is the timebase master: its
// bar, beat and tick count the transport's frames at the program's tempo
// (on from where they stood, or from frame 0 for a frame the transport was
// located to), and the clock follows them as it follows another master's;
// with a MIDI clock leading the clock, they are the clock as it was heard.
// Commands to the transport are for the user-interface thread.
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

  // The beats from the start and the tempo a timebase's bar, beat and tick
  // tell; false when there are none or they make no sense.
  static bool BeatsOf(const jack_position_t& pos, double& beats, double& tempo);

 private:
  static void Timebase(jack_transport_state_t state, jack_nframes_t frames, jack_position_t* pos,
                       int newPosition, void* self);
  void FillBarBeatTick(jack_nframes_t frames, bool newPosition, jack_position_t& pos);
  // The clock as heard at the frame asked for, with its tempo; -1 when the
  // trail does not tell.
  double HeardTicks(jack_nframes_t frame, jack_nframes_t frames, double& tempo) const;
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
  // The timebase's count: the ticks at the frame it last filled.
  std::atomic<bool> counted_{false};  // the UI thread starts the count anew
  uint32_t countedFrame_ = 0;
  double countedTicks_ = 0.0;
  double countedSpc_ = 1.0;
};

}  // namespace tg
