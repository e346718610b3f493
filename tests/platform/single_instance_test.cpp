#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace ocv {
namespace {

std::string UniqueName() { return "VMS QVX test " + std::to_string(getpid()); }

// A child that takes the lock, reports through a pipe and then waits to be killed.
pid_t StartHolder(const std::string& name) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        SingleInstance lock;
        char rc = static_cast<char>(lock.Acquire(name));
        if (write(fds[1], &rc, 1) != 1) _exit(2);
        for (;;) pause();
    }
    close(fds[1]);
    char rc = 1;
    if (read(fds[0], &rc, 1) != 1 || rc != 0) pid = -1;
    close(fds[0]);
    return pid;
}

TEST(SingleInstanceTest, SecondHolderRefusedUntilFirstIsKilled) {
    std::string name = UniqueName();
    pid_t holder = StartHolder(name);
    ASSERT_GT(holder, 0);
    SingleInstance second;
    EXPECT_EQ(second.Acquire(name), -2);
    kill(holder, SIGKILL);
    int status = 0;
    waitpid(holder, &status, 0);
    EXPECT_EQ(second.Acquire(name), 0);
    // Within the process a second object is refused as well while the first holds it.
    SingleInstance third;
    EXPECT_EQ(third.Acquire(name), -2);
    second.Release();
    EXPECT_EQ(third.Acquire(name), 0);
}

}  // namespace
}  // namespace ocv
