// The application object without windows: the registration words and the
// instance lock over a whole run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/com_server.h"
#include "shell/installer_app_core.h"
#include "support/test_support.h"
#include "tests/settings/sample_host_fixture.h"

namespace {

TEST(CommandLine, RegistrationWords)
{
    const ServerCommand R = ServerCommand::Register, U = ServerCommand::Unregister, N = ServerCommand::None;
    const std::pair<const char*, ServerCommand> cases[] = {
        {"/usr/bin/Pellvane /regserver", R}, {"/usr/bin/Pellvane -REGSERVER", R}, {"/usr/bin/Pellvane /UnregServer", U},
        // The word runs to the end of the line, and needs its delimiter.
        {"/usr/bin/Pellvane /RegServer /s", N}, {"/usr/bin/Pellvane /RegServer ", N},
        {"/usr/bin/Pellvane RegServer", N}, {"/usr/bin/Pellvane /RegServerX", N},
        // A "-" in the program path is looked past.
        {"C:\\a-b\\Pellvane.exe -UnregServer", U}, {"/opt/tessra-5/bin/Pellvane", N}, {"", N},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(static_cast<int>(FindServerCommand(line)), static_cast<int>(expected)) << "[" << line << "]";
}

// The application object with the main dialog replaced by a count of its runs.
class RecordingApp : public CInstallerAppCore {
public:
    RecordingApp() { m_strCommandLine = "/usr/bin/Pellvane"; }
    int dialogs = 0;

protected:
    void RunMainDialog() override { ++dialogs; }
};

TEST(Startup, OneRunHoldsTheInstanceLockUntilItsObjectIsGone)
{
    ScratchRegistry registry;
    TempDir runtime;
    EnvVar runtimeDir("XDG_RUNTIME_DIR", runtime.path());
    MessageRecorder messages;
    {
        RecordingApp first;
        EXPECT_EQ(first.InitInstance(), FALSE);
        EXPECT_EQ(first.ExitInstance(), 0);
        RecordingApp second;
        second.InitInstance();
        EXPECT_EQ(first.dialogs, 1);
        EXPECT_EQ(second.dialogs, 0);
    }
    RecordingApp third;
    third.InitInstance();
    EXPECT_EQ(third.dialogs, 1);
    EXPECT_TRUE(messages.texts().empty());
}

} // namespace
