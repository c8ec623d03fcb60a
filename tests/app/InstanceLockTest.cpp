#include "app/SingleInstance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using velmora::SingleInstanceLock;

namespace {

std::string uniqueName(const char* what) { return std::string("test-") + what + "-" + std::to_string(getpid()); }

// Runs `body` in a child process and returns its exit status.
template <typename F>
int inChild(F body) {
    pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(SingleInstanceLock, SecondHolderIsRefusedUntilTheFirstEnds) {
    std::string name = uniqueName("basic");
    {
        SingleInstanceLock first(name);
        ASSERT_TRUE(first.held());
        EXPECT_FALSE(first.alreadyExists());
        SingleInstanceLock second(name);
        EXPECT_TRUE(second.alreadyExists());
        EXPECT_FALSE(second.held());
        // Another process sees it too.
        EXPECT_EQ(inChild([&] { return SingleInstanceLock(name).alreadyExists() ? 7 : 0; }), 7);
        SingleInstanceLock other(name + "-other");
        EXPECT_TRUE(other.held());
    }
    SingleInstanceLock again(name);
    EXPECT_TRUE(again.held());
}

TEST(SingleInstanceLock, ReleasedWhenTheHolderDiesAndNotInheritedByChildren) {
    std::string name = uniqueName("death");
    // A holder killed without any clean-up leaves nothing behind.
    EXPECT_EQ(inChild([&] {
                  SingleInstanceLock lock(name);
                  if (!lock.held())
                      return 1;
                  kill(getpid(), SIGKILL);
                  return 2;
              }),
              -1);
    SingleInstanceLock lock(name);
    ASSERT_TRUE(lock.held());
    // Programs started from the holder (a browser for the help page) must not keep it alive.
    EXPECT_EQ(inChild([&] {
                  // After exec nothing of the parent's lock may survive.
                  execl("/bin/sh", "sh", "-c", "ls -l /proc/$$/fd | grep -c socket: >/dev/null && exit 3; exit 0",
                        static_cast<char*>(nullptr));
                  return 9;
              }),
              0);
}

TEST(SingleInstanceLock, AnotherUserIsRefusedToo) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run a child as another user";
    std::string name = uniqueName("user");
    SingleInstanceLock lock(name);
    ASSERT_TRUE(lock.held());
    EXPECT_EQ(inChild([&] {
                  if (setgid(65534) != 0 || setuid(65534) != 0)
                      return 1;
                  return SingleInstanceLock(name).alreadyExists() ? 7 : 0;
              }),
              7);
}
