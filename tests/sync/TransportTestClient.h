#pragma once

#include <jack/jack.h>
#include <jack/transport.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace tg::test {

// A JACK client of the test's own that notes, every cycle, what the
// transport says (its state, frame and bar, beat and tick), can move the
// transport, and can be its timebase master: then its beats run on from
// the frame of the last tempo change at the tempo asked for, and a located
// frame counts at that tempo from there. Nothing in its callbacks allocates.
class TransportTestClient {
 public:
  static constexpr size_t kMostCycles = 1 << 14;

  struct Cycle {
    int64_t start = 0;  // the server's frame
    bool rolling = false;
    int64_t frame = 0;
    bool bbt = false;
    double beats = 0.0;  // from bar, beat and tick
    int32_t bar = 0, beat = 0, tick = 0;
    float beatsPerBar = 0.0f, beatType = 0.0f;
    double ticksPerBeat = 0.0, tempo = 0.0;
  };

  explicit TransportTestClient(const char* name) {
    jack_status_t status{};
    client_ = jack_client_open(name, JackNoStartServer, &status);
    if (client_ == nullptr) return;
    cycles_.assign(kMostCycles, Cycle{});
    jack_set_process_callback(client_, &TransportTestClient::Process, this);
    jack_activate(client_);
  }
  ~TransportTestClient() {
    if (client_ == nullptr) return;
    jack_deactivate(client_);
    jack_client_close(client_);
  }
  TransportTestClient(const TransportTestClient&) = delete;
  TransportTestClient& operator=(const TransportTestClient&) = delete;

  bool IsOpen() const { return client_ != nullptr; }
  // Takes the timebase over, at this tempo from frame 0.
  bool BecomeTimebaseMaster(double tempo) {
    tempo_.store(tempo);
    return jack_set_timebase_callback(client_, 0, &TransportTestClient::Timebase, this) == 0;
  }
  // From the next cycle the transport's beats go on at this tempo.
  void SetTempo(double tempo) { tempo_.store(tempo); }
  void Start() { jack_transport_start(client_); }
  void Stop() { jack_transport_stop(client_); }
  void Locate(uint32_t frame) { jack_transport_locate(client_, frame); }
  uint32_t FrameNow() const { return jack_frame_time(client_); }

  size_t Count() const { return count_.load(std::memory_order_acquire); }
  const Cycle& At(size_t k) const { return cycles_[k]; }

 private:
  static int Process(jack_nframes_t, void* self) {
    auto& s = *static_cast<TransportTestClient*>(self);
    const size_t n = s.count_.load(std::memory_order_relaxed);
    if (n >= kMostCycles) return 0;
    jack_position_t pos{};
    const jack_transport_state_t state = jack_transport_query(s.client_, &pos);
    Cycle& c = s.cycles_[n];
    c.start = jack_last_frame_time(s.client_);
    c.rolling = state == JackTransportRolling;
    c.frame = pos.frame;
    c.bbt = (pos.valid & JackPositionBBT) != 0;
    if (c.bbt) {
      c.bar = pos.bar;
      c.beat = pos.beat;
      c.tick = pos.tick;
      c.beatsPerBar = pos.beats_per_bar;
      c.beatType = pos.beat_type;
      c.ticksPerBeat = pos.ticks_per_beat;
      c.tempo = pos.beats_per_minute;
      c.beats = (pos.bar - 1) * static_cast<double>(pos.beats_per_bar) + (pos.beat - 1) +
                pos.tick / pos.ticks_per_beat;
    }
    s.count_.store(n + 1, std::memory_order_release);
    return 0;
  }

  static void Timebase(jack_transport_state_t, jack_nframes_t, jack_position_t* pos, int newPos,
                       void* self) {
    auto& s = *static_cast<TransportTestClient*>(self);
    const double tempo = s.tempo_.load();
    const auto beatsAt = [&](jack_nframes_t frame) {
      return s.fromBeats_ + (static_cast<double>(frame) - static_cast<double>(s.fromFrame_)) *
                                s.fromTempo_ / 60.0 / 44100.0;
    };
    if (newPos == 0 && tempo != s.fromTempo_) {
      s.fromBeats_ = beatsAt(pos->frame);
      s.fromFrame_ = pos->frame;
      s.fromTempo_ = tempo;
    } else if (s.fromTempo_ == 0.0) {
      s.fromTempo_ = tempo;
    }
    double beats = beatsAt(pos->frame);
    if (beats < 0.0) beats = 0.0;
    const auto whole = static_cast<int64_t>(beats);
    pos->valid = static_cast<jack_position_bits_t>(pos->valid | JackPositionBBT);
    pos->bar = static_cast<int32_t>(whole / 4 + 1);
    pos->beat = static_cast<int32_t>(whole % 4 + 1);
    pos->tick = static_cast<int32_t>((beats - static_cast<double>(whole)) * 1920.0);
    pos->bar_start_tick = static_cast<double>(whole / 4) * 4 * 1920.0;
    pos->beats_per_bar = 4;
    pos->beat_type = 4;
    pos->ticks_per_beat = 1920;
    pos->beats_per_minute = s.fromTempo_;
  }

  jack_client_t* client_ = nullptr;
  std::vector<Cycle> cycles_;
  std::atomic<size_t> count_{0};
  std::atomic<double> tempo_{120.0};
  // The timebase's (JACK's process thread): where the tempo last changed.
  double fromTempo_ = 0.0;
  double fromBeats_ = 0.0;
  jack_nframes_t fromFrame_ = 0;
};

}  // namespace tg::test
