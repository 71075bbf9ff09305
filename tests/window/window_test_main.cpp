// The window tests run under Qt's offscreen platform, with one application
// object for all of them.
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/support/own_lock_folder.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  const OwnLockFolder locks;
  return RUN_ALL_TESTS();
}
