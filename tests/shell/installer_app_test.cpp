// The application object without windows: the registration words of the
// command line, the instance lock over a whole run, and the help and about
// requests when the host's objects fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/com_server.h"
#include "shell/host_commands.h"
#include "shell/installer_app_core.h"
#include "shell/show_formatted_message.h"
#include "support/test_support.h"
#include "tests/shell/shell_test_support.h"

namespace {

TEST(CommandLine, RegistrationWords)
{
    const ServerCommand R = ServerCommand::Register, U = ServerCommand::Unregister, N = ServerCommand::None;
    const struct {
        const char* line;
        ServerCommand expected;
    } cases[] = {
        {"/usr/bin/Pellvane /regserver", R}, {"/usr/bin/Pellvane -REGSERVER", R}, {"/usr/bin/Pellvane /UnregServer", U},
        // The word runs to the end of the line: anything after it spoils it.
        {"/usr/bin/Pellvane /RegServer /s", N}, {"/usr/bin/Pellvane /RegServer ", N},
        // The delimiter is needed, and a blank does not stand for it.
        {"/usr/bin/Pellvane RegServer", N}, {"/usr/bin/Pellvane / RegServer", N}, {"/usr/bin/Pellvane /RegServerX", N},
        // A "-" in the program path is looked past; each delimiter starts a token.
        {"C:\\a-b\\Pellvane.exe -UnregServer", U}, {"/opt/tessra-5/bin/Pellvane", N},
        {"/opt/tessra-/Pellvane /RegServer", R}, {"Pellvane //RegServer", R}, {"", N},
    };
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<int>(FindServerCommand(c.line)), static_cast<int>(c.expected)) << "[" << c.line << "]";
}

// The application object with the main dialog replaced by a record of it.
class RecordingApp : public CInstallerAppCore {
public:
    RecordingApp() { m_strCommandLine = "/usr/bin/Pellvane"; }
    int dialogs = 0;
    BOOL comServerInitedDuringDialog = FALSE;

protected:
    void RunMainDialog() override
    {
        ++dialogs;
        comServerInitedDuringDialog = m_bComServerInited;
    }
};

TEST(Startup, OneRunHoldsTheInstanceLockUntilItsObjectIsGone)
{
    ScratchRegistry registry;
    TempDir runtime;
    ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.path());
    MessageRecorder messages;
    {
        RecordingApp first;
        EXPECT_EQ(first.InitInstance(), FALSE);
        EXPECT_EQ(first.dialogs, 1);
        EXPECT_EQ(first.comServerInitedDuringDialog, TRUE);
        EXPECT_EQ(first.ExitInstance(), 0);
        EXPECT_EQ(first.m_bComServerInited, FALSE);
        RecordingApp second;
        EXPECT_EQ(second.InitInstance(), FALSE);
        EXPECT_EQ(second.dialogs, 0);
    }
    RecordingApp third;
    third.InitInstance();
    EXPECT_EQ(third.dialogs, 1);
    EXPECT_TRUE(messages.texts().empty());
    EXPECT_FALSE(PathExists(registry.file("HKEY_CLASSES_ROOT")));
}

TEST(HostCommands, FailingHostObjectsAreReported)
{
    const struct {
        bool help;
        const char* failing;
        std::vector<std::string> calls;
        const char* message;
    } cases[] = {
        {true, "TessraGetClassObject", {}, "QuickLaunchObjectの作成に失敗した"},
        {false, "TessraGetClassObject", {}, "AboutDialogObjectの作成に失敗した"},
        {true, "LaunchProgram", {"LaunchProgram Pellvane"}, "ヘルプの表示 に失敗した。"},
        {false, "ShowAboutBox", {"ShowAboutBox"}, "バージョン情報の表示 に失敗した"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        ScratchRegistry registry;
        SampleHost host(c.failing);
        ASSERT_TRUE(SampleHost::Register());
        MessageRecorder messages;
        RecordingApp app;
        if (c.help)
            app.WinHelp(0, HELP_CONTEXT);
        else
            ShowHostAboutBox(0, 0);
        EXPECT_EQ(host.TakeCalls(), c.calls);
        ASSERT_EQ(messages.shown().size(), 1u);
        EXPECT_EQ(messages.shown()[0].text, c.message);
        EXPECT_EQ(messages.shown()[0].type, MB_OK);
    }
}

TEST(ShowFormattedMessage, PathStandsInsideTheTemplatesQuotes)
{
    MessageRecorder messages;
    ShowFormattedMessage(2032, "/media/cdrom/Guide.dbs");
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, "'/media/cdrom/Guide.dbs'のファイルが見つかりませんでした。\n"
                                        "指定のパスにファイルがあるか確認してください。");
    EXPECT_EQ(messages.shown()[0].type, MB_OK);
}

} // namespace
