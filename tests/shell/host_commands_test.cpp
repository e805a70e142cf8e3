// Help and about through the host's objects: the call the host sees, or the
// exact message when the object is missing or fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/host_commands.h"
#include "shell/installer_app_core.h"
#include "shell/show_formatted_message.h"
#include "support/test_support.h"
#include "tests/shell/shell_test_support.h"

namespace {

class NoDialogApp : public CInstallerAppCore {
protected:
    void RunMainDialog() override {}
};

TEST(HostCommands, HelpAndAboutReachTheHostOrSayWhyNot)
{
    struct Case {
        const char* what;
        bool registered;
        const char* failing; // TESSRA_SAMPLE_HOST_FAIL
        std::vector<std::string> log;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"help", true, "", {"LaunchProgram Pellvane"}, {}},
        {"about", true, "", {"ShowAboutBox"}, {}},
        {"help", false, "", {}, {"QuickLaunchObjectの作成に失敗した"}},
        {"about", false, "", {}, {"AboutDialogObjectの作成に失敗した"}},
        {"help", true, "TessraGetClassObject", {}, {"QuickLaunchObjectの作成に失敗した"}},
        {"about", true, "TessraGetClassObject", {}, {"AboutDialogObjectの作成に失敗した"}},
        {"help", true, "LaunchProgram", {"LaunchProgram Pellvane"}, {"ヘルプの表示 に失敗した。"}},
        {"about", true, "ShowAboutBox", {"ShowAboutBox"}, {"バージョン情報の表示 に失敗した"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (c.registered ? " registered " : " unregistered ") + c.failing);
        ScratchRegistry registry;
        TempDir dir;
        ScopedEnv log("TESSRA_SAMPLE_HOST_LOG", dir / "host.log");
        ScopedEnv noUi("TESSRA_SAMPLE_HOST_NO_UI", "1");
        ScopedEnv fail("TESSRA_SAMPLE_HOST_FAIL", c.failing);
        if (c.registered) {
            ASSERT_TRUE(RegisterSampleHost());
        }
        MessageRecorder messages;
        NoDialogApp app;
        if (std::string(c.what) == "help")
            app.WinHelp(0, HELP_CONTEXT);
        else
            ShowHostAboutBox(0, 0);
        EXPECT_EQ(ReadLog(dir / "host.log"), c.log);
        EXPECT_EQ(messages.texts(), c.messages);
        for (const auto& shown : messages.shown())
            EXPECT_EQ(shown.type, MB_OK);
    }
}

} // namespace

namespace {

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
