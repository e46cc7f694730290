#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // The same environment as under ctest when the binary is run by hand: no sound card needed.
  setenv("VOREL_AUDIO", "null", 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
