#include <gtest/gtest.h>

#include <clocale>

// The tests run in the user's locale, as the program does: under a German
// one the C library writes and expects "0,5".
int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
