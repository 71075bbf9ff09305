#include <gtest/gtest.h>

#include "tests/support/own_lock_folder.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const OwnLockFolder locks;
  return RUN_ALL_TESTS();
}
