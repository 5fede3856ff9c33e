// A Link peer of the tests' own, standing in for another program in the
// session. It only ever runs inside the private network the test made.
//   link-test-peer [--start-stop-sync] [--tempo BPM]
// Commands on stdin, one a line: "tempo BPM", "play", "stop", "quit".
// On stdout, every 2 ms: "at MICROS beat BEAT tempo BPM playing 0|1 peers N"
// (Link's clock, the session's beat with a quantum of 4), and for each
// command once committed: "did COMMAND at MICROS".
#include <net/if.h>
#include <poll.h>
#include <unistd.h>

#include <ableton/Link.hpp>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

namespace {

constexpr double kQuantum = 4.0;

std::string Number(double value) {
  std::array<char, 64> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
  return std::string(text.data(), result.ptr);
}

double ParseNumber(std::string_view text) {
  double value = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

void Say(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

// Whether the only network this process sees is loopback, as inside the
// private namespace the tests make: nothing it sends can leave the machine.
bool OnlyLoopback() {
  struct if_nameindex* const interfaces = if_nameindex();
  if (interfaces == nullptr) return false;
  bool only = true;
  for (const struct if_nameindex* i = interfaces; i->if_index != 0; ++i)
    only = only && std::string_view(i->if_name) == "lo";
  if_freenameindex(interfaces);
  return only;
}

int main(int argc, char** argv) {
  // Never a peer on the real network, even when started by hand.
  if (!OnlyLoopback()) {
    std::fputs("link-test-peer: runs only inside a private network namespace (unshare -n)\n",
               stderr);
    return 2;
  }
  bool startStopSync = false;
  double tempo = 120.0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--start-stop-sync") startStopSync = true;
    if (arg == "--tempo" && i + 1 < argc) tempo = ParseNumber(argv[++i]);
  }
  ableton::Link link(tempo);
  std::atomic<int> peers{0};
  link.setNumPeersCallback([&peers](std::size_t n) { peers.store(static_cast<int>(n)); });
  link.enableStartStopSync(startStopSync);
  link.enable(true);

  std::string pending;
  for (;;) {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (poll(&in, 1, 2) > 0) {
      std::array<char, 256> chunk{};
      const ssize_t got = read(STDIN_FILENO, chunk.data(), chunk.size());
      if (got <= 0) break;  // the test went
      pending.append(chunk.data(), static_cast<size_t>(got));
    }
    for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
      const std::string command = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (command == "quit") return 0;
      auto state = link.captureAppSessionState();
      const auto now = link.clock().micros();
      if (command.rfind("tempo ", 0) == 0) {
        state.setTempo(ParseNumber(std::string_view(command).substr(6)), now);
      } else if (command == "play") {
        state.setIsPlayingAndRequestBeatAtTime(true, now, 0.0, kQuantum);
      } else if (command == "stop") {
        state.setIsPlaying(false, now);
      } else {
        continue;
      }
      link.commitAppSessionState(state);
      Say("did " + command + " at " + std::to_string(now.count()));
    }
    const auto state = link.captureAppSessionState();
    const auto now = link.clock().micros();
    Say("at " + std::to_string(now.count()) + " beat " + Number(state.beatAtTime(now, kQuantum)) +
        " tempo " + Number(state.tempo()) + " playing " + (state.isPlaying() ? "1" : "0") +
        " peers " + std::to_string(peers.load()));
  }
  return 0;
}
