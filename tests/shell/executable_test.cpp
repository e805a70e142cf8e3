// The Pellvane executable as an installation script or a second start sees
// it: registration words, the single instance, and no window in either case.
// Every run is without a display, so a run that tried to open its window
// would fail instead of waiting for a user.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <set>
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

const std::string kAppIdSection = std::string("HKEY_CLASSES_ROOT\\AppID\\") + kAppId;
const std::string kExeSection = "HKEY_CLASSES_ROOT\\AppID\\Pellvane.EXE";

// Runs the executable with args, without a display; returns its exit
// status (-1 when it did not exit normally).
int RunPellvane(const std::vector<std::string>& args)
{
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(PELLVANE_EXE));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        execve(PELLVANE_EXE, argv.data(), environ);
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// A process that holds the installer's instance lock until it is told to
// end or is killed.
class LockHolder {
public:
    LockHolder()
    {
        int ready[2], hold[2];
        if (pipe(ready) != 0 || pipe(hold) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            close(hold[1]);
            InstanceLock lock;
            const char ok = lock.Acquire("Veltrane Corporation:Tessra:5.0:Pellvane") ? 'y' : 'n';
            if (write(ready[1], &ok, 1) != 1)
                _exit(1);
            char c;
            while (read(hold[0], &c, 1) > 0) {
            }
            _exit(0);
        }
        close(ready[1]);
        close(hold[0]);
        m_hold = hold[1];
        char c = 'n';
        m_held = read(ready[0], &c, 1) == 1 && c == 'y';
        close(ready[0]);
    }
    ~LockHolder() { End(); }

    bool held() const { return m_held; }
    void Kill()
    {
        if (m_pid > 0)
            kill(m_pid, SIGKILL);
        End();
    }
    void End()
    {
        if (m_hold >= 0)
            close(m_hold);
        m_hold = -1;
        if (m_pid > 0)
            waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_hold = -1;
    bool m_held = false;
};

// The sections of a registry file, each with its value lines.
std::map<std::string, std::vector<std::string>> Sections(const std::string& text)
{
    std::map<std::string, std::vector<std::string>> sections;
    std::istringstream in(text);
    std::string line, current;
    while (std::getline(in, line)) {
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            current = line.substr(1, line.size() - 2);
            sections[current];
        } else if (!current.empty() && !line.empty()) {
            sections[current].push_back(line);
        }
    }
    return sections;
}

class Executable : public ::testing::Test {
protected:
    ScratchRegistry registry;
    TempDir runtime;
    ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtime.path()};

    std::string ClassesRootText() const { return ReadFileBytes(registry.file("HKEY_CLASSES_ROOT")); }
    std::map<std::string, std::vector<std::string>> ClassesRoot() const { return Sections(ClassesRootText()); }
};

TEST_F(Executable, RegistrationAddsExactlyTheTwoAppIdKeys)
{
    for (const char* word : {"/regserver", "-REGSERVER", "/RegServer"}) {
        SCOPED_TRACE(word);
        ScratchRegistry fresh;
        ASSERT_EQ(RunPellvane({word}), 0);
        const std::map<std::string, std::vector<std::string>> expected = {
            {"HKEY_CLASSES_ROOT\\AppID", {}},
            {kAppIdSection, {"@=\"Pellvane\""}},
            {kExeSection, {std::string("\"AppID\"=\"") + kAppId + "\""}},
        };
        EXPECT_EQ(Sections(ReadFileBytes(fresh.file("HKEY_CLASSES_ROOT"))), expected);
        EXPECT_FALSE(PathExists(fresh.file("HKEY_LOCAL_MACHINE")));
    }
}

TEST_F(Executable, RegistrationAndUnregistrationLeaveEverythingElseAlone)
{
    ASSERT_TRUE(RegisterSampleHost());
    // Another program's AppID, and a value in AppID itself.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "AppID\\{11111111-2222-3333-4444-555555555555}", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const unsigned char*>("Other"), 6);
    RegCloseKey(key);
    const auto before = ClassesRoot();
    ASSERT_EQ(before.count(kAppIdSection), 0u);

    ASSERT_EQ(RunPellvane({"/RegServer"}), 0);
    auto expected = before;
    expected[kAppIdSection] = {"@=\"Pellvane\""};
    expected[kExeSection] = {std::string("\"AppID\"=\"") + kAppId + "\""};
    EXPECT_EQ(ClassesRoot(), expected);

    // Twice is harmless: the file does not change.
    const std::string once = ClassesRootText();
    ASSERT_EQ(RunPellvane({"/RegServer"}), 0);
    EXPECT_EQ(ClassesRootText(), once);

    ASSERT_EQ(RunPellvane({"/UnregServer"}), 0);
    EXPECT_EQ(ClassesRoot(), before);
    ASSERT_EQ(RunPellvane({"-unregserver"}), 0);
    EXPECT_EQ(ClassesRoot(), before);
}

TEST_F(Executable, UnregistrationKeepsTheAppIdKeyItself)
{
    ASSERT_EQ(RunPellvane({"-RegServer"}), 0);
    ASSERT_EQ(RunPellvane({"/UnregServer"}), 0);
    const std::map<std::string, std::vector<std::string>> expected = {{"HKEY_CLASSES_ROOT\\AppID", {}}};
    EXPECT_EQ(ClassesRoot(), expected);
}

TEST_F(Executable, WordFollowedByMoreIsNoRegistration)
{
    // Not a registration: the installer goes on to open its window, which
    // without a display fails, and nothing is written.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"/RegServer", "/s"}, std::vector<std::string>{"/RegServer "}}) {
        EXPECT_NE(RunPellvane(args), 0) << args[0];
        EXPECT_FALSE(PathExists(registry.file("HKEY_CLASSES_ROOT"))) << args[0];
    }
}

TEST_F(Executable, SecondInstanceEndsAtOnceWithoutWindowOrRegistration)
{
    LockHolder first;
    ASSERT_TRUE(first.held());
    // Exit status 0 without a display: it never tried to open a window.
    EXPECT_EQ(RunPellvane({}), 0);
    EXPECT_EQ(RunPellvane({"/RegServer"}), 0);
    EXPECT_FALSE(PathExists(registry.file("HKEY_CLASSES_ROOT")));

    first.End();
    EXPECT_EQ(RunPellvane({"/RegServer"}), 0);
    EXPECT_EQ(ClassesRoot().count(kExeSection), 1u);
}

TEST_F(Executable, InstanceStartedAfterAKilledHolderRunsNormally)
{
    LockHolder first;
    ASSERT_TRUE(first.held());
    first.Kill();
    EXPECT_EQ(RunPellvane({"/RegServer"}), 0);
    EXPECT_EQ(ClassesRoot().count(kAppIdSection), 1u);
    EXPECT_EQ(ClassesRoot().count(kExeSection), 1u);
}

} // namespace
