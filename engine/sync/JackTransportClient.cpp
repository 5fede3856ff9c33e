#include "engine/sync/JackTransportClient.h"

#include <jack/jack.h>
#include <jack/transport.h>

#include <algorithm>
#include <cmath>

#include "graph/TempoClock.h"

namespace tg {

namespace jack_transport_client {

constexpr float kMostBeatsPerBar = 1024.0f;
// Far beyond any song, and still counted to a fraction of a tick.
constexpr double kMostBeats = 1e9;

}  // namespace jack_transport_client

void JackTransportClient::Attach(jack_client_t* client) {
  client_ = client;
  sampleRate_ = jack_get_sample_rate(client);
  master_ = false;
  counted_ = false;
  if (leading_) BecomeMaster();
  link_.SetAttached(true);
}

void JackTransportClient::Detach(bool serverGone) {
  if (client_ == nullptr) return;
  link_.SetAttached(false);
  // The program leaves: the transport it led stops with its clock.
  if (master_ && !serverGone) {
    jack_transport_stop(client_);
    jack_release_timebase(client_);
  }
  master_ = false;
  client_ = nullptr;
  sampleRate_ = 0;
}

void JackTransportClient::BecomeMaster() {
  // Unconditionally: leading means taking over from any master there is.
  master_ = jack_set_timebase_callback(client_, 0, &JackTransportClient::Timebase, this) == 0;
}

void JackTransportClient::SetLeading(bool lead) {
  leading_ = lead;
  if (client_ == nullptr) return;
  if (lead && !master_) {
    counted_ = false;  // the process thread waits for the callback first
    BecomeMaster();
  } else if (!lead && master_) {
    jack_release_timebase(client_);
    master_ = false;
  }
}

void JackTransportClient::Start() {
  if (client_ != nullptr) jack_transport_start(client_);
}

void JackTransportClient::Stop() {
  if (client_ != nullptr) jack_transport_stop(client_);
}

void JackTransportClient::Locate(int64_t frame) {
  if (client_ != nullptr)
    jack_transport_locate(client_, static_cast<jack_nframes_t>(std::clamp<int64_t>(
                                       frame, 0, static_cast<int64_t>(UINT32_MAX))));
}

void JackTransportClient::Cycle(int64_t cycleStart, uint32_t, int64_t serverMinusRendered) {
  jack_position_t pos{};
  const jack_transport_state_t state = jack_transport_query(client_, &pos);
  cycleStart_ = cycleStart;
  transportFrame_ = pos.frame;
  serverMinusRendered_ = serverMinusRendered;
  JackTransportReading r;
  r.cycle = cycleStart;
  r.serverMinusRendered = serverMinusRendered;
  r.frame = pos.frame;
  r.rolling = state == JackTransportRolling ? 1 : 0;
  if (BeatsOf(pos, r.beats, r.tempo)) r.bbt = 1;
  link_.Publish(r);
}

bool JackTransportClient::BeatsOf(const jack_position_t& pos, double& beats, double& tempo) {
  // A timebase's bar, beat and tick, when it gives sensible ones: a bar
  // longer than any time signature's, or ticks coarser than a beat, would
  // throw the clock out of reach or make its position infinite.
  if ((pos.valid & JackPositionBBT) == 0 || pos.bar < 1 || pos.beat < 1 || pos.tick < 0 ||
      !(pos.beats_per_bar > 0.0f && pos.beats_per_bar <= jack_transport_client::kMostBeatsPerBar) ||
      !(pos.ticks_per_beat >= 1.0 && std::isfinite(pos.ticks_per_beat)) ||
      !std::isfinite(pos.beats_per_minute) || !(pos.beats_per_minute > 0.0))
    return false;
  const double told = (pos.bar - 1) * static_cast<double>(pos.beats_per_bar) + (pos.beat - 1) +
                      pos.tick / pos.ticks_per_beat;
  if (!(told <= jack_transport_client::kMostBeats)) return false;
  beats = told;
  tempo = pos.beats_per_minute;
  return true;
}

void JackTransportClient::Timebase(jack_transport_state_t, jack_nframes_t frames,
                                   jack_position_t* pos, int newPosition, void* self) {
  static_cast<JackTransportClient*>(self)->FillBarBeatTick(frames, newPosition != 0, *pos);
}

double JackTransportClient::HeardTicks(jack_nframes_t frame, jack_nframes_t frames,
                                       double& tempo) const {
  // The position filled in is the next cycle's: heard where the clock
  // played that cycle's first frame.
  const auto ahead = static_cast<int32_t>(frame - transportFrame_);
  double ticks = 0.0;
  if (ahead >= 0 && ahead <= static_cast<int32_t>(frames) &&
      serverMinusRendered_ != JackTransportReading::kUnknown &&
      link_.At(cycleStart_ + frames - serverMinusRendered_, ticks, tempo))
    return ticks;
  return -1.0;
}

void JackTransportClient::FillBarBeatTick(jack_nframes_t frames, bool newPosition,
                                          jack_position_t& pos) {
  // A new position's frame is the transport's as this cycle read it: the
  // one handed in may be left over from an earlier one (taking the timebase
  // over, starting).
  const jack_nframes_t frame = newPosition ? transportFrame_ : pos.frame;
  const double located = link_.LocateSamplesPerClock();
  const double spc = located > 0.0 ? located : TempoClock::kDefaultSamplesPerClock;
  double tempo = TempoClock::TempoForSamplesPerClock(spc);
  double ticks = -1.0;
  if (link_.TimebaseHearsClock()) {
    // A MIDI clock leads ours: the transport hears it as it was played.
    ticks = HeardTicks(frame, frames, tempo);
    counted_ = false;
  } else {
    // The frames count at the program's tempo: on from where they were
    // counted last, or from frame 0 for a frame the transport was located
    // to; taking the timebase over, from the clock as it is heard.
    const auto on = static_cast<int32_t>(frame - countedFrame_);
    if (!counted_) {
      ticks = HeardTicks(frame, frames, tempo);
      tempo = TempoClock::TempoForSamplesPerClock(spc);
    } else if (std::abs(on) <= static_cast<int32_t>(2 * frames)) {
      ticks = countedTicks_ + on / countedSpc_;
    }
    if (ticks < 0.0) ticks = frame / spc;
    counted_ = true;
    countedFrame_ = frame;
    countedTicks_ = ticks;
    countedSpc_ = spc;
  }
  if (ticks < 0.0) ticks = frame / spc;
  const double beats = ticks / TempoClock::kTicksPerBeat;
  const double whole = std::floor(beats);
  const auto bar = static_cast<int64_t>(whole) / TempoClock::kBeatsPerBar;
  pos.valid = static_cast<jack_position_bits_t>(pos.valid | JackPositionBBT);
  pos.bar = static_cast<int32_t>(std::min<int64_t>(bar + 1, INT32_MAX));
  pos.beat = static_cast<int32_t>(static_cast<int64_t>(whole) % TempoClock::kBeatsPerBar + 1);
  pos.tick = std::min(static_cast<int32_t>((beats - whole) * kTicksPerBeat), kTicksPerBeat - 1);
  pos.bar_start_tick = static_cast<double>(bar) * TempoClock::kBeatsPerBar * kTicksPerBeat;
  pos.beats_per_bar = TempoClock::kBeatsPerBar;
  pos.beat_type = 4;
  pos.ticks_per_beat = kTicksPerBeat;
  pos.beats_per_minute = tempo;
}

}  // namespace tg
