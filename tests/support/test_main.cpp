#include <gtest/gtest.h>

#include "viewer/container/stored_values.h"

int main(int argc, char** argv) {
  // The front ends unscramble the stored values first thing; so do tests.
  kelvora::unscramble_stored_values();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
