#include "platform/stop_signals.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace {

// In a child process: the first signal only raises the stop request, the
// second ends the process at once with 128 + its number.
TEST(StopSignals, TheFirstSignalAsksTheSecondEnds) {
  for (const int number : {SIGINT, SIGTERM}) {
    int fromChild[2];
    ASSERT_EQ(pipe(fromChild), 0);
    const pid_t child = fork();
    if (child == 0) {
      platform::InstallStopSignals();
      char seen = platform::StopSignalReceived() ? 'y' : 'n';
      (void)!write(fromChild[1], &seen, 1);
      std::raise(number);
      seen = platform::StopSignalReceived() && platform::StopSignalNumber() == number ? 'y' : 'n';
      (void)!write(fromChild[1], &seen, 1);
      std::raise(number);
      _exit(0);  // not reached
    }
    char before = 0, after = 0;
    ASSERT_EQ(read(fromChild[0], &before, 1), 1);
    ASSERT_EQ(read(fromChild[0], &after, 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(before, 'n');
    EXPECT_EQ(after, 'y');
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + number);
    close(fromChild[0]);
    close(fromChild[1]);
  }
}

}  // namespace
