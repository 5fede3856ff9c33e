// The Link tests' own start. Before anything else, and before any thread,
// the program moves into a network namespace of its own in which only the
// loopback interface exists (carrying multicast, which Link's discovery
// uses), so neither our engine nor the test's peer ever reaches the
// machine's network. Without one the tests fail: CI runs as root.
#include <gtest/gtest.h>
#include <sched.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

bool MakePrivateNetwork() {
  if (unshare(CLONE_NEWNET) != 0) {
    std::cerr << "The Link tests need a private network namespace (as root): unshare: "
              << std::strerror(errno) << "\n";
    return false;
  }
  for (const char* command :
       {"ip link set lo up", "ip link set lo multicast on", "ip route add 224.0.0.0/4 dev lo"}) {
    if (std::system(command) != 0) {
      std::cerr << "The private network for the Link tests could not be set up: " << command
                << " failed (is iproute2 installed?)\n";
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (as the build does) runs none of them.
  if (!::testing::GTEST_FLAG(list_tests) && !MakePrivateNetwork()) return 1;
  return RUN_ALL_TESTS();
}
