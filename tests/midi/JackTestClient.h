#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/SpscQueue.h"
#include "engine/midi/MidiEvent.h"

namespace tg::test {

// A JACK client of the test's own: it plays MIDI messages at the frames the
// test asks for (and notes the frame each left at), records the MIDI
// messages that reach its input with their frames, and records one audio
// input, each sample with its JACK frame. Nothing here allocates in the
// process callback.
class JackTestClient {
 public:
  static constexpr size_t kMostMessages = 1024;
  static constexpr size_t kMostHeard = 4096;

  struct Heard {
    uint32_t frame = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
  };
  static constexpr size_t kRecordFrames = 44100 * 20;

  explicit JackTestClient(const char* name) {
    jack_status_t status{};
    client_ = jack_client_open(name, JackNoStartServer, &status);
    if (client_ == nullptr) return;
    midiOut_ = jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    audioIn_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    midiIn_ = jack_port_register(client_, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    heard_.assign(kMostHeard, Heard{});
    recording_.assign(kRecordFrames, 0.0f);
    sentAt_ = std::vector<std::atomic<int64_t>>(kMostMessages);
    for (auto& s : sentAt_) s.store(-1);
    jack_set_process_callback(client_, &JackTestClient::Process, this);
    jack_activate(client_);
  }
  ~JackTestClient() {
    if (client_ == nullptr) return;
    jack_deactivate(client_);
    jack_client_close(client_);
  }
  JackTestClient(const JackTestClient&) = delete;
  JackTestClient& operator=(const JackTestClient&) = delete;

  bool IsOpen() const { return client_ != nullptr; }
  std::string MidiOutName() const { return jack_port_name(midiOut_); }
  std::string MidiInName() const { return jack_port_name(midiIn_); }
  // Messages heard at the MIDI input so far, each with its frame.
  size_t HeardCount() const { return heardCount_.load(std::memory_order_acquire); }
  Heard HeardAt(size_t k) const { return heard_[k]; }
  uint32_t FrameNow() const { return jack_frame_time(client_); }
  jack_nframes_t Period() const { return jack_get_buffer_size(client_); }

  // The ports that play into the system's first playback port now.
  std::vector<std::string> PlaybackSources() const {
    std::vector<std::string> names;
    const char** from =
        jack_port_get_all_connections(client_, jack_port_by_name(client_, "system:playback_1"));
    if (from == nullptr) return names;
    for (const char** p = from; *p != nullptr; ++p) names.emplace_back(*p);
    jack_free(from);
    return names;
  }
  // Records what a port that joined the system's first playback port since
  // `before` plays (the program's audio stream, not one a test before it
  // left behind while its process ends).
  bool ListenToPlayback(const std::vector<std::string>& before) {
    for (const std::string& port : PlaybackSources()) {
      if (std::find(before.begin(), before.end(), port) != before.end()) continue;
      return jack_connect(client_, port.c_str(), jack_port_name(audioIn_)) == 0;
    }
    return false;
  }
  void StartRecording() { record_.store(true); }

  // A message to leave at a JACK frame (at the next cycle's start if that
  // has passed); its number, to ask where it went.
  int SendAt(uint32_t frame, MidiEvent message) {
    const int id = nextId_++;
    queue_.Push({frame, message, id});
    return id;
  }
  int Send(MidiEvent message) { return SendAt(FrameNow(), message); }
  // The frame a message left at, or -1 while it waits.
  int64_t SentAt(int id) const { return sentAt_[static_cast<size_t>(id)].load(); }

  // Recorded samples and the frame of the first.
  size_t Recorded() const { return recorded_.load(std::memory_order_acquire); }
  uint32_t FirstRecordedFrame() const { return firstFrame_.load(); }
  float Sample(size_t k) const { return recording_[k]; }

 private:
  struct Outgoing {
    uint32_t frame = 0;
    MidiEvent message;
    int id = -1;
  };

  static int Process(jack_nframes_t frames, void* self) {
    auto& s = *static_cast<JackTestClient*>(self);
    const jack_nframes_t start = jack_last_frame_time(s.client_);
    Outgoing o;
    while (s.queue_.Pop(o)) {
      if (s.waiting_ < s.pending_.size()) s.pending_[s.waiting_++] = o;
    }
    std::sort(s.pending_.begin(), s.pending_.begin() + static_cast<long>(s.waiting_),
              [](const Outgoing& a, const Outgoing& b) { return a.frame < b.frame; });
    void* midiIn = jack_port_get_buffer(s.midiIn_, frames);
    const uint32_t arrived = jack_midi_get_event_count(midiIn);
    size_t heard = s.heardCount_.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < arrived && heard < kMostHeard; ++i) {
      jack_midi_event_t e;
      if (jack_midi_event_get(&e, midiIn, i) != 0 || e.size < 1) continue;
      s.heard_[heard++] = {start + e.time, e.buffer[0], e.size > 1 ? e.buffer[1] : uint8_t{0},
                           e.size > 2 ? e.buffer[2] : uint8_t{0}};
    }
    s.heardCount_.store(heard, std::memory_order_release);
    void* out = jack_port_get_buffer(s.midiOut_, frames);
    jack_midi_clear_buffer(out);
    size_t kept = 0;
    for (size_t i = 0; i < s.waiting_; ++i) {
      const Outgoing& m = s.pending_[i];
      // Frames wrap after a day; the test never waits that long.
      const auto ahead = static_cast<int32_t>(m.frame - start);
      if (ahead >= static_cast<int32_t>(frames)) {
        s.pending_[kept++] = m;
        continue;
      }
      const jack_nframes_t offset = ahead < 0 ? 0 : static_cast<jack_nframes_t>(ahead);
      const jack_midi_data_t bytes[3] = {m.message.status, m.message.data1, m.message.data2};
      // Clocks and their kin are one byte (a song position three).
      if (jack_midi_event_write(out, offset, bytes, static_cast<size_t>(m.message.Size())) == 0)
        s.sentAt_[static_cast<size_t>(m.id)].store(static_cast<int64_t>(start + offset));
    }
    s.waiting_ = kept;
    if (s.record_.load()) {
      const auto* in = static_cast<const float*>(jack_port_get_buffer(s.audioIn_, frames));
      size_t at = s.recorded_.load(std::memory_order_relaxed);
      if (at == 0) s.firstFrame_.store(start);
      const size_t n = std::min<size_t>(frames, kRecordFrames - at);
      std::copy(in, in + n, s.recording_.begin() + static_cast<long>(at));
      s.recorded_.store(at + n, std::memory_order_release);
    }
    return 0;
  }

  jack_client_t* client_ = nullptr;
  jack_port_t* midiOut_ = nullptr;
  jack_port_t* audioIn_ = nullptr;
  jack_port_t* midiIn_ = nullptr;
  std::vector<Heard> heard_;
  std::atomic<size_t> heardCount_{0};
  SpscQueue<Outgoing, kMostMessages> queue_;
  std::array<Outgoing, kMostMessages> pending_{};
  size_t waiting_ = 0;
  std::vector<std::atomic<int64_t>> sentAt_;
  int nextId_ = 0;
  std::atomic<bool> record_{false};
  std::vector<float> recording_;
  std::atomic<size_t> recorded_{0};
  std::atomic<uint32_t> firstFrame_{0};
};

}  // namespace tg::test
