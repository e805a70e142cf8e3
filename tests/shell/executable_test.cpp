// The executable as an installation script or a second start sees it. Runs have no
// display: one that opens its window ends with the toolkit's complaint and
// status 1, one that ends with 0 never tried.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/instance_lock.h"
#include "support/test_support.h"
#include "tests/settings/sample_host_fixture.h"

extern char** environ;

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\AppID]\n\n";
const std::string kOurKeys = "[HKEY_CLASSES_ROOT\\AppID\\{CD05E3D1-5777-4A24-8F5A-F5BF82BAE687}]\n@=\"Pellvane\"\n\n"
                             "[HKEY_CLASSES_ROOT\\AppID\\Pellvane.EXE]\n"
                             "\"AppID\"=\"{CD05E3D1-5777-4A24-8F5A-F5BF82BAE687}\"\n\n";

// The exit status of the executable run as argv0 with args; -1 when it did
// not exit. What it wrote to standard error goes to *errors when given.
int RunPellvane(const std::vector<std::string>& args, const std::string& argv0 = PELLVANE_EXE,
                std::string* errors = nullptr)
{
    TempDir dir;
    const std::string errorFile = dir / "stderr";
    const pid_t pid = fork();
    if (pid == 0) {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        std::vector<char*> argv{const_cast<char*>(argv0.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        dup2(open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        execve(PELLVANE_EXE, argv.data(), environ);
        _exit(127);
    }
    int status = 0;
    const int result = waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (errors)
        *errors = ReadFileBytes(errorFile);
    return result;
}

class Executable : public ::testing::Test {
protected:
    ScratchRegistry registry;
    TempDir runtime;
    EnvVar runtimeDir{"XDG_RUNTIME_DIR", runtime.path()};
    const std::string classes = registry.file("HKEY_CLASSES_ROOT");
};

TEST_F(Executable, EachWordRegistersTheTwoKeysOnceAndUnregistrationKeepsAppIdAndTheRest)
{
    SampleHost::Register(); // keys of others in the same file
    const std::string before = ReadFileBytes(classes) + "[HKEY_CLASSES_ROOT\\AppID]\n\n";
    for (const char* word : {"/regserver", "-REGSERVER", "/RegServer"}) {
        for (int run = 0; run < 2; ++run) {
            ASSERT_EQ(RunPellvane({word}), 0) << word;
            EXPECT_EQ(ReadFileBytes(classes), before + kOurKeys) << word;
        }
        for (const char* unregister : {"/UnregServer", "-unregserver"}) {
            ASSERT_EQ(RunPellvane({unregister}), 0);
            EXPECT_EQ(ReadFileBytes(classes), before) << unregister;
        }
    }
    EXPECT_FALSE(PathExists(registry.file("HKEY_LOCAL_MACHINE")));
}

TEST_F(Executable, NoRegistrationWordOpensTheInstaller)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"/RegServer", "/s"}, PELLVANE_EXE}, {{"/RegServer "}, PELLVANE_EXE}, {{}, "/opt/tessra-5/bin/Pellvane"}};
    // Opening the installer is reaching the toolkit, which finds no display
    // and ends the run with status 1; a crash or any other end is not.
    for (const auto& [args, argv0] : cases) {
        std::string errors;
        EXPECT_EQ(RunPellvane(args, argv0, &errors), 1) << argv0 << " " << args.size();
        EXPECT_NE(errors.find("Unable to initialize GTK+, is DISPLAY set properly?"), std::string::npos) << errors;
        EXPECT_FALSE(PathExists(classes));
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
    std::shared_ptr<void> holder(nullptr, [first](void*) { // killed when reset, or when the test ends early
        kill(first, SIGKILL);
        waitpid(first, nullptr, 0);
    });
    char held = 0;
    ASSERT_TRUE(read(ready[0], &held, 1) == 1 && held == 'y');

    EXPECT_EQ(RunPellvane({}), 0);
    EXPECT_EQ(RunPellvane({"/RegServer"}), 0);
    EXPECT_FALSE(PathExists(classes));
    holder.reset();
    EXPECT_EQ(RunPellvane({"/RegServer"}), 0);
    EXPECT_EQ(ReadFileBytes(classes), kHeader + kOurKeys);
}

} // namespace
