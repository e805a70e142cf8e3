#include "platform/instance_lock.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "support/test_support.h"

extern char** environ;

namespace {

const char kName[] = "Veltrane Corporation:Tessra:5.0:Pellvane";

class RuntimeDirVar {
public:
    explicit RuntimeDirVar(const char* value)
    {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR"))
            m_old = old;
        Set(value);
    }
    ~RuntimeDirVar() { Set(m_old ? m_old->c_str() : nullptr); }

private:
    static void Set(const char* value)
    {
        if (value)
            setenv("XDG_RUNTIME_DIR", value, 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }
    std::optional<std::string> m_old;
};

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
    TempDir runtime;
    RuntimeDirVar runtimeVar{runtime.path().c_str()};
};

TEST_F(InstanceLockTest, LockFileIsNamedAfterTheInstance)
{
    EXPECT_EQ(InstanceLock::LockFilePath(kName), runtime / "Veltrane_Corporation_Tessra_5.0_Pellvane.lock");
    InstanceLock lock;
    ASSERT_TRUE(lock.Acquire(kName));
    EXPECT_EQ(ListDir(runtime.path()), std::vector<std::string>{"Veltrane_Corporation_Tessra_5.0_Pellvane.lock"});
    // A name with a path in it stays inside the runtime folder.
    EXPECT_EQ(InstanceLock::LockFilePath("../x/y"), runtime / ".._x_y.lock");
}

TEST_F(InstanceLockTest, SecondProcessIsRefusedWhileTheFirstHoldsIt)
{
    InstanceLock lock;
    ASSERT_TRUE(lock.Acquire(kName));
    EXPECT_TRUE(lock.IsHeld());
    EXPECT_FALSE(OtherProcessAcquires(kName));
    // Other names are other locks.
    EXPECT_TRUE(OtherProcessAcquires("Veltrane Corporation:Tessra:5.0:Other"));

    lock.Release();
    EXPECT_FALSE(lock.IsHeld());
    EXPECT_TRUE(OtherProcessAcquires(kName));
}

TEST_F(InstanceLockTest, DestructorAndReacquireLetTheOldNameGo)
{
    {
        InstanceLock lock;
        ASSERT_TRUE(lock.Acquire(kName));
    }
    EXPECT_TRUE(OtherProcessAcquires(kName));

    InstanceLock lock;
    ASSERT_TRUE(lock.Acquire(kName));
    ASSERT_TRUE(lock.Acquire("Another"));
    EXPECT_TRUE(OtherProcessAcquires(kName));
    EXPECT_FALSE(OtherProcessAcquires("Another"));
}

TEST_F(InstanceLockTest, LockOfAKilledHolderIsFreeAtOnce)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        close(ready[0]);
        InstanceLock lock;
        const char acquired = lock.Acquire(kName) ? '1' : '0';
        if (write(ready[1], &acquired, 1) != 1)
            _exit(2);
        for (;;)
            pause();
    }
    close(ready[1]);
    char acquired = 0;
    ASSERT_EQ(read(ready[0], &acquired, 1), 1);
    close(ready[0]);
    ASSERT_EQ(acquired, '1');

    InstanceLock lock;
    EXPECT_FALSE(lock.Acquire(kName));

    kill(holder, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    EXPECT_TRUE(lock.Acquire(kName));
}

TEST_F(InstanceLockTest, ProgramStartedByADeadHolderDoesNotKeepTheLock)
{
    // The holder starts a program that lives until we close its input, and
    // is then killed.
    int input[2];
    int ready[2];
    ASSERT_EQ(pipe(input), 0);
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        InstanceLock lock;
        char state = '0';
        if (lock.Acquire(kName)) {
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_adddup2(&actions, input[0], 0);
            posix_spawn_file_actions_addclose(&actions, input[1]);
            char sh[] = "sh", dashC[] = "-c", script[] = "read line";
            char* argv[] = {sh, dashC, script, nullptr};
            pid_t program = 0;
            if (posix_spawn(&program, "/bin/sh", &actions, nullptr, argv, environ) == 0)
                state = '1';
        }
        if (write(ready[1], &state, 1) != 1)
            _exit(2);
        for (;;)
            pause();
    }
    close(input[0]);
    close(ready[1]);
    char state = 0;
    ASSERT_EQ(read(ready[0], &state, 1), 1);
    close(ready[0]);
    ASSERT_EQ(state, '1');
    EXPECT_FALSE(OtherProcessAcquires(kName));

    kill(holder, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    // The program still runs (its input is open) and holds no lock.
    EXPECT_TRUE(OtherProcessAcquires(kName));
    close(input[1]);
}

TEST_F(InstanceLockTest, EmptyNameIsRefused)
{
    InstanceLock lock;
    EXPECT_FALSE(lock.Acquire(""));
    EXPECT_FALSE(lock.IsHeld());
}

TEST(InstanceLockRuntimeDir, SharedOrMissingRuntimeFolderFallsBackToAPrivateOne)
{
    TempDir shared;
    chmod(shared.path().c_str(), 01777);
    const std::string fallback = "/tmp/pellvane-" + std::to_string(getuid());
    for (const char* value : {shared.path().c_str(), static_cast<const char*>(nullptr), "relative/dir"}) {
        RuntimeDirVar var(value);
        EXPECT_EQ(InstanceLock::LockFilePath("Name"), fallback + "/Name.lock") << (value ? value : "(unset)");
    }
    struct stat st;
    ASSERT_EQ(lstat(fallback.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0077, 0u);
}

} // namespace
