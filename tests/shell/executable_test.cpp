// The Pellvane executable as an installation script or a second start sees
// it. Every run is without a display, so a run that opens its window fails
// instead of waiting for a user, and one that ends with 0 never tried.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/instance_lock.h"
#include "platform/registry.h"
#include "shell/com_server.h"
#include "support/test_support.h"
#include "tests/shell/shell_test_support.h"

extern char** environ;

namespace {

using Sections = std::map<std::string, std::vector<std::string>>;
const std::string kAppIdKey = "HKEY_CLASSES_ROOT\\AppID";
const Sections kOurKeys = {
    {kAppIdKey + "\\" + kAppId, {"@=\"Pellvane\""}},
    {kAppIdKey + "\\Pellvane.EXE", {std::string("\"AppID\"=\"") + kAppId + "\""}},
};

// Runs the executable (as argv0) with args; its exit status, -1 when it did
// not exit normally.
int RunPellvane(const std::vector<std::string>& args, const std::string& argv0 = PELLVANE_EXE)
{
    const pid_t pid = fork();
    if (pid == 0) {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        std::vector<char*> argv{const_cast<char*>(argv0.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        dup2(open("/dev/null", O_WRONLY), 2);
        execve(PELLVANE_EXE, argv.data(), environ);
        _exit(127);
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Executable : public ::testing::Test {
protected:
    ScratchRegistry registry;
    TempDir runtime;
    ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtime.path()};

    std::string ClassesRootText() const { return ReadFileBytes(registry.file("HKEY_CLASSES_ROOT")); }
    // The sections of HKEY_CLASSES_ROOT, each with its value lines.
    Sections ClassesRoot() const
    {
        Sections sections;
        std::istringstream in(ClassesRootText());
        std::string line, current;
        while (std::getline(in, line)) {
            if (line.size() > 2 && line.front() == '[' && line.back() == ']')
                sections[current = line.substr(1, line.size() - 2)];
            else if (!current.empty() && !line.empty())
                sections[current].push_back(line);
        }
        return sections;
    }
};

TEST_F(Executable, EachWordRegistersExactlyTheTwoKeysAndUnregistrationKeepsAppId)
{
    for (const char* word : {"/regserver", "-REGSERVER", "/RegServer"}) {
        SCOPED_TRACE(word);
        unlink(registry.file("HKEY_CLASSES_ROOT").c_str());
        ASSERT_EQ(RunPellvane({word}), 0);
        Sections expected = kOurKeys;
        expected[kAppIdKey];
        EXPECT_EQ(ClassesRoot(), expected);
        EXPECT_FALSE(PathExists(registry.file("HKEY_LOCAL_MACHINE")));
        ASSERT_EQ(RunPellvane({"/UnregServer"}), 0);
        EXPECT_EQ(ClassesRoot(), (Sections{{kAppIdKey, {}}}));
    }
}

TEST_F(Executable, RegistrationTwiceAndUnregistrationTwiceLeaveEverythingElseAlone)
{
    ASSERT_TRUE(SampleHost::Register());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "AppID\\{11111111-2222-3333-4444-555555555555}", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const unsigned char*>("Other"), 6);
    RegCloseKey(key);
    const Sections before = ClassesRoot();

    ASSERT_EQ(RunPellvane({"/RegServer"}), 0);
    Sections expected = before;
    expected.insert(kOurKeys.begin(), kOurKeys.end());
    EXPECT_EQ(ClassesRoot(), expected);
    const std::string once = ClassesRootText();
    ASSERT_EQ(RunPellvane({"/RegServer"}), 0);
    EXPECT_EQ(ClassesRootText(), once);
    for (const char* word : {"/UnregServer", "-unregserver"}) {
        ASSERT_EQ(RunPellvane({word}), 0);
        EXPECT_EQ(ClassesRoot(), before) << word;
    }
}

TEST_F(Executable, NoRegistrationWordOpensTheInstaller)
{
    const struct {
        std::vector<std::string> args;
        std::string argv0;
    } cases[] = {
        {{"/RegServer", "/s"}, PELLVANE_EXE},
        {{"/RegServer "}, PELLVANE_EXE},
        {{}, "/opt/tessra-5/bin/Pellvane"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(RunPellvane(c.args, c.argv0), 0) << c.argv0 << " " << c.args.size();
        EXPECT_FALSE(PathExists(registry.file("HKEY_CLASSES_ROOT")));
    }
}

TEST_F(Executable, SecondInstanceEndsAtOnceUntilTheFirstIsKilled)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t first = fork();
    if (first == 0) {
        InstanceLock lock;
        (void)!write(ready[1], lock.Acquire("Veltrane Corporation:Tessra:5.0:Pellvane") ? "y" : "n", 1);
        for (;;)
            pause();
    }
    // Killed when reset, or when the test ends early.
    std::shared_ptr<void> holder(nullptr, [first](void*) {
        kill(first, SIGKILL);
        waitpid(first, nullptr, 0);
    });
    char held = 0;
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    ASSERT_EQ(held, 'y');

    EXPECT_EQ(RunPellvane({}), 0);
    EXPECT_EQ(RunPellvane({"/RegServer"}), 0);
    EXPECT_FALSE(PathExists(registry.file("HKEY_CLASSES_ROOT")));
    holder.reset();
    EXPECT_EQ(RunPellvane({"/RegServer"}), 0);
    EXPECT_EQ(ClassesRoot().count(kAppIdKey + "\\Pellvane.EXE"), 1u);
}

} // namespace
