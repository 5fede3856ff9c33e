#include "engine/sync/LinkSession.h"

#include <ableton/Link.hpp>
#include <chrono>
#include <exception>
#include <optional>

namespace tg {

namespace link_session {

using Micros = std::chrono::microseconds;

}  // namespace link_session

struct LinkSession::Impl {
  explicit Impl(double tempo) : link(tempo) {}

  ableton::Link link;
  // The audio thread's snapshot, between Capture and Commit.
  std::optional<ableton::Link::SessionState> audio;
};

LinkSession::LinkSession() = default;

LinkSession::~LinkSession() {
  // Link's threads end here, before the atomics they write go.
  impl_.reset();
}

int64_t LinkSession::NowMicros() { return ableton::link::platform::Clock().micros().count(); }

std::string LinkSession::PeersText(int peers) {
  return "Link: " + std::to_string(peers) + (peers == 1 ? " peer" : " peers");
}

bool LinkSession::Join(double tempo, std::string& why) {
  if (Joined()) return true;
  try {
    if (impl_ == nullptr) {
      auto impl = std::make_unique<Impl>(tempo);
      impl->link.setNumPeersCallback(
          [this](std::size_t peers) { peers_.store(static_cast<int>(peers)); });
      impl->link.setTempoCallback([this](double bpm) { sessionTempo_.store(bpm); });
      impl_ = std::move(impl);
    } else {
      SetTempoNow(tempo);
    }
    impl_->link.enableStartStopSync(StartStopSync());
    sessionTempo_.store(impl_->link.captureAppSessionState().tempo());
    impl_->link.enable(true);
  } catch (const std::exception& e) {
    why = e.what();
    return false;
  }
  joined_.store(true, std::memory_order_release);
  return true;
}

void LinkSession::Leave() {
  if (!Joined()) return;
  joined_.store(false, std::memory_order_release);
  impl_->link.enable(false);
  peers_.store(0);
}

void LinkSession::SetStartStopSync(bool on) {
  startStopSync_.store(on, std::memory_order_relaxed);
  if (impl_ != nullptr) impl_->link.enableStartStopSync(on);
}

void LinkSession::SetTempoNow(double tempo) {
  if (impl_ == nullptr) return;
  ableton::Link::SessionState state = impl_->link.captureAppSessionState();
  state.setTempo(tempo, impl_->link.clock().micros());
  impl_->link.commitAppSessionState(state);
}

void LinkSession::Capture() { impl_->audio.emplace(impl_->link.captureAudioSessionState()); }

double LinkSession::Tempo() const { return impl_->audio->tempo(); }

double LinkSession::BeatAt(int64_t micros) const {
  return impl_->audio->beatAtTime(link_session::Micros(micros), kQuantum);
}

int64_t LinkSession::TimeAtBeat(double beat) const {
  return impl_->audio->timeAtBeat(beat, kQuantum).count();
}

bool LinkSession::IsPlaying() const { return impl_->audio->isPlaying(); }

int64_t LinkSession::PlayingChangedAt() const { return impl_->audio->timeForIsPlaying().count(); }

void LinkSession::SetTempo(double tempo, int64_t atMicros) {
  impl_->audio->setTempo(tempo, link_session::Micros(atMicros));
}

void LinkSession::SetPlaying(bool playing, int64_t atMicros) {
  impl_->audio->setIsPlaying(playing, link_session::Micros(atMicros));
}

void LinkSession::RequestBarAt(int64_t atMicros) {
  impl_->audio->requestBeatAtTime(0.0, link_session::Micros(atMicros), kQuantum);
}

void LinkSession::Commit() { impl_->link.commitAudioSessionState(*impl_->audio); }

}  // namespace tg
