#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace tg {

// The program's place in an Ableton Link session, and the only part of it
// that sees Link itself (whose headers are heavy). Nothing of Link exists
// until the user turns it on; its first join starts Link's own threads, which
// leave what they tell (peers, tempo, start or stop) in atomics and touch
// nothing else of the program. Times are Link's clock, in microseconds;
// beats are counted with a quantum of one bar.
// The audio thread works on a snapshot of the session taken once a fill
// (Capture, then Commit what it changed); the user-interface thread uses the
// session's application side only while no live fill uses it.
class LinkSession {
 public:
  static constexpr double kQuantum = 4.0;  // beats: our bar

  LinkSession();
  ~LinkSession();
  LinkSession(const LinkSession&) = delete;
  LinkSession& operator=(const LinkSession&) = delete;

  // UI thread. Joins the session on the local network (peers found there
  // share its tempo; with none, it is a new one at this tempo); false, with
  // the reason, when Link cannot start.
  bool Join(double tempo, std::string& why);
  void Leave();
  void SetStartStopSync(bool on);
  // UI thread, while no live fill uses the session: its tempo from now on.
  void SetTempoNow(double tempo);

  // Any thread.
  bool Joined() const { return joined_.load(std::memory_order_acquire); }
  bool StartStopSync() const { return startStopSync_.load(std::memory_order_relaxed); }
  int Peers() const { return peers_.load(std::memory_order_relaxed); }
  // The session's tempo as Link's threads told it last (0 before a join).
  double SessionTempo() const { return sessionTempo_.load(std::memory_order_relaxed); }
  // Link's clock.
  static int64_t NowMicros();
  // What the status bar says of the session: "Link: 1 peer", "Link: 3 peers".
  static std::string PeersText(int peers);

  // Audio thread, only while joined: the session as it stands now, read and
  // changed on a snapshot, then handed back.
  void Capture();
  double Tempo() const;
  double BeatAt(int64_t micros) const;
  int64_t TimeAtBeat(double beat) const;
  bool IsPlaying() const;
  int64_t PlayingChangedAt() const;
  void SetTempo(double tempo, int64_t atMicros);
  void SetPlaying(bool playing, int64_t atMicros);
  // Our beat 0 at that time: at once when no peer is there, else at the
  // session's next bar (Link never moves a shared beat under the others).
  void RequestBarAt(int64_t atMicros);
  // What the snapshot changed since Capture, for every peer.
  void Commit();

 private:
  struct Impl;

  std::atomic<bool> joined_{false};
  std::atomic<bool> startStopSync_{false};
  std::atomic<int> peers_{0};
  std::atomic<double> sessionTempo_{0.0};
  // Made on the first join, kept until the program ends.
  std::unique_ptr<Impl> impl_;
};

}  // namespace tg
