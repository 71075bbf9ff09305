#include "platform/named_mutex.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/paths.h"

namespace {

std::string UniqueName() { return "TessaloadTest_" + std::to_string(getpid()); }

TEST(NamedMutex, OwningThreadReentersAndOtherThreadsWait) {
  platform::VirtualClock clock;
  platform::NamedMutex a(UniqueName());
  platform::NamedMutex b(UniqueName());  // the same mutex by name
  ASSERT_TRUE(a.Lock(0, clock));
  ASSERT_TRUE(b.Lock(0, clock));  // re-entry by the owner
  bool other = true;
  std::thread([&] { other = platform::NamedMutex(UniqueName()).Lock(5, clock); }).join();
  EXPECT_FALSE(other);
  b.Unlock();
  std::thread([&] { other = platform::NamedMutex(UniqueName()).Lock(0, clock); }).join();
  EXPECT_FALSE(other);  // still held once
  a.Unlock();
  std::thread([&] {
    platform::NamedMutex m(UniqueName());
    other = m.Lock(0, clock);
    m.Unlock();
  }).join();
  EXPECT_TRUE(other);
}

// Holds the mutex `name` while a child process (running as `uid` when it is
// not -1) tries to take it, then releases it: the child must find it taken,
// and then free.
void ExpectChildWaitsForTheHolder(const std::string& name, int uid) {
  platform::SteadyClock clock;
  platform::NamedMutex mine(name);
  ASSERT_TRUE(mine.Lock(0, clock));
  int toChild[2], fromChild[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(fromChild), 0);
  const pid_t child = fork();
  if (child == 0) {
    if (uid >= 0 && (setgid(gid_t(uid)) != 0 || setuid(uid_t(uid)) != 0)) _exit(1);
    platform::SteadyClock c;
    platform::NamedMutex m(name);
    char r = m.Lock(0, c) ? 'L' : 'x';  // held by the parent
    (void)!write(fromChild[1], &r, 1);
    char go;
    (void)!read(toChild[0], &go, 1);
    r = m.Lock(2000, c) ? 'L' : 'x';  // released by now
    (void)!write(fromChild[1], &r, 1);
    _exit(0);
  }
  char first = 0, second = 0;
  ASSERT_EQ(read(fromChild[0], &first, 1), 1);
  EXPECT_EQ(first, 'x');
  mine.Unlock();
  ASSERT_EQ(write(toChild[1], "g", 1), 1);
  ASSERT_EQ(read(fromChild[0], &second, 1), 1);
  EXPECT_EQ(second, 'L');
  waitpid(child, nullptr, 0);
}

TEST(NamedMutex, ExcludesASecondProcess) { ExpectChildWaitsForTheHolder(UniqueName() + "_proc", -1); }

TEST(NamedMutex, TimedWaitGivesUpInVirtualTime) {
  platform::VirtualClock holderClock;
  platform::NamedMutex holder(UniqueName() + "_timed");
  ASSERT_TRUE(holder.Lock(0, holderClock));
  platform::VirtualClock clock;
  bool got = true;
  std::thread([&] { got = platform::NamedMutex(UniqueName() + "_timed").Lock(3000, clock); }).join();
  EXPECT_FALSE(got);
  EXPECT_GE(clock.NowMs(), 3000u);
  holder.Unlock();
}

// Another program runs in real time: a wait in virtual time does not give
// up on its hold before the limit has passed in real time too.
TEST(NamedMutex, AnotherProgramsHoldIsWaitedForInRealTime) {
  const std::string name = UniqueName() + "_real";
  int fromChild[2];
  ASSERT_EQ(pipe(fromChild), 0);
  const pid_t child = fork();
  if (child == 0) {
    platform::SteadyClock c;
    platform::NamedMutex m(name);
    const char r = m.Lock(0, c) ? 'L' : 'x';
    (void)!write(fromChild[1], &r, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // far past 1000 virtual ms of spinning
    m.Unlock();
    _exit(0);
  }
  char held = 0;
  ASSERT_EQ(read(fromChild[0], &held, 1), 1);
  ASSERT_EQ(held, 'L');
  platform::VirtualClock clock;
  platform::NamedMutex mine(name);
  EXPECT_TRUE(mine.Lock(1000, clock));
  mine.Unlock();
  waitpid(child, nullptr, 0);
}

// The locks order the processes of every user: one folder for the machine,
// sticky and writable by all, whatever the session's runtime folder is.
TEST(NamedMutex, ExcludesAProcessOfAnotherUser) {
  setenv("XDG_RUNTIME_DIR", "/nonexistent-runtime-folder", 1);
  const std::string folder = platform::LockFolder();
  unsetenv("XDG_RUNTIME_DIR");
  struct stat st {};
  ASSERT_EQ(stat(folder.c_str(), &st), 0) << folder;
  EXPECT_EQ(st.st_mode & 01777, 01777u) << folder;
  if (geteuid() != 0) GTEST_SKIP() << "a second user needs root to switch to";
  ExpectChildWaitsForTheHolder(UniqueName() + "_user", 65534);  // nobody
}

}  // namespace
