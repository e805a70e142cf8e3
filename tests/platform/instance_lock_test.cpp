#include "platform/instance_lock.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

const char kName[] = "Veltrane Corporation:Tessra:5.0:Pellvane";

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

TEST(InstanceLock, HeldAgainstOtherProcessesUntilItsHolderIsKilledEvenWhileItsProgramRuns)
{
    TempDir runtime;
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    EXPECT_EQ(InstanceLock::LockFilePath("../x/y"), runtime / ".._x_y.lock"); // stays in the folder
    {
        InstanceLock lock;
        ASSERT_TRUE(lock.Acquire(kName));
        EXPECT_FALSE(OtherProcessAcquires(kName));
        EXPECT_TRUE(OtherProcessAcquires("Veltrane Corporation:Tessra:5.0:Other"));
    }
    // The holder starts a program (the help viewer, say) that outlives it.
    int ready[2], input[2];
    ASSERT_EQ(pipe(ready) | pipe(input), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        InstanceLock lock;
        close(input[1]);
        dup2(input[0], 9);
        if (lock.Acquire(kName) && system("read line <&9 &") == 0 && write(ready[1], "y", 1) == 1)
            pause();
        _exit(2);
    }
    close(input[0]);
    char state = 0;
    ASSERT_TRUE(read(ready[0], &state, 1) == 1 && state == 'y');
    EXPECT_FALSE(OtherProcessAcquires(kName));
    kill(holder, SIGKILL);
    ASSERT_EQ(waitpid(holder, nullptr, 0), holder);
    EXPECT_TRUE(OtherProcessAcquires(kName));
    close(input[1]); // ends the program
}

TEST(InstanceLock, SharedOrMissingRuntimeFolderFallsBackToAPrivateOne)
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
    EXPECT_EQ(st.st_mode & 0077, 0u);
}

} // namespace
