#include "platform/instance_lock.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

extern char** environ;

namespace {

const char kName[] = "Veltrane Corporation:Tessra:5.0:Pellvane";

// Whether another process can take the lock of name right now.
bool OtherProcessAcquires(const std::string& name)
{
    const pid_t pid = fork();
    if (pid == 0) {
        InstanceLock lock;
        _exit(lock.Acquire(name) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class InstanceLockTest : public ::testing::Test {
protected:
    InstanceLockTest() { setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1); }
    TempDir runtime;
};

TEST_F(InstanceLockTest, HeldAgainstOtherProcessesUntilReleased)
{
    EXPECT_EQ(InstanceLock::LockFilePath("../x/y"), runtime / ".._x_y.lock"); // stays in the folder
    InstanceLock lock;
    EXPECT_FALSE(lock.Acquire(""));
    ASSERT_TRUE(lock.Acquire(kName));
    EXPECT_EQ(ListDir(runtime.path()), std::vector<std::string>{"Veltrane_Corporation_Tessra_5.0_Pellvane.lock"});
    EXPECT_FALSE(OtherProcessAcquires(kName));
    EXPECT_TRUE(OtherProcessAcquires("Veltrane Corporation:Tessra:5.0:Other"));
    lock.Release();
    EXPECT_TRUE(OtherProcessAcquires(kName));
}

// A killed holder frees the lock at once, even while a program it started
// (the help viewer, say) still runs.
TEST_F(InstanceLockTest, KilledHolderAndItsProgramLeaveTheLockFree)
{
    int input[2], ready[2];
    ASSERT_EQ(pipe(input) | pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        InstanceLock lock;
        char state = '0';
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_addclose(&actions, input[1]);
        char sh[] = "sh", dashC[] = "-c", script[] = "read line";
        char* argv[] = {sh, dashC, script, nullptr};
        pid_t program = 0;
        if (lock.Acquire(kName) && posix_spawn(&program, "/bin/sh", &actions, nullptr, argv, environ) == 0)
            state = '1';
        if (write(ready[1], &state, 1) == 1)
            for (;;)
                pause();
        _exit(2);
    }
    close(input[0]);
    close(ready[1]);
    char state = 0;
    ASSERT_TRUE(read(ready[0], &state, 1) == 1 && state == '1');
    InstanceLock lock;
    EXPECT_FALSE(lock.Acquire(kName));

    kill(holder, SIGKILL);
    ASSERT_EQ(waitpid(holder, nullptr, 0), holder);
    EXPECT_TRUE(lock.Acquire(kName));
    close(input[1]);
    close(ready[0]);
}

TEST(InstanceLockRuntimeDir, SharedOrMissingRuntimeFolderFallsBackToAPrivateOne)
{
    TempDir shared;
    chmod(shared.path().c_str(), 01777);
    const std::string fallback = "/tmp/pellvane-" + std::to_string(getuid());
    for (const char* value : {shared.path().c_str(), static_cast<const char*>(nullptr), "relative/dir"}) {
        value ? setenv("XDG_RUNTIME_DIR", value, 1) : unsetenv("XDG_RUNTIME_DIR");
        EXPECT_EQ(InstanceLock::LockFilePath("Name"), fallback + "/Name.lock") << (value ? value : "(unset)");
    }
    struct stat st;
    ASSERT_EQ(lstat(fallback.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0077, 0u);
}

} // namespace
