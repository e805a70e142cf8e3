// The start-up order of the application object, without windows: the
// single instance, the registration words, the administrator warning and
// the main dialog (recorded here instead of shown).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/instance_lock.h"
#include "shell/installer_app_core.h"
#include "support/test_support.h"
#include "tests/shell/shell_test_support.h"

namespace {

const char* const kAdminMessage = "設定の変更にはAdministrator権限が必要です。\nシステムの管理者にお問い合わせ下さい。";

// The application object with the main dialog replaced by a record of
// what start-up looked like when it would have been shown.
class RecordingApp : public CInstallerAppCore {
public:
    explicit RecordingApp(const std::string& commandLine) { m_strCommandLine = commandLine; }
    int dialogs = 0;
    std::vector<std::string> messagesBeforeDialog;
    BOOL comServerInitedDuringDialog = FALSE;
    MessageRecorder* recorder = nullptr;

protected:
    void RunMainDialog() override
    {
        ++dialogs;
        comServerInitedDuringDialog = m_bComServerInited;
        if (recorder)
            messagesBeforeDialog = recorder->texts();
    }
};

class Startup : public ::testing::Test {
protected:
    ScratchRegistry registry;
    TempDir runtime;
    ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtime.path()};
    MessageRecorder messages;

    std::string ClassesRoot() const { return ReadFileBytes(registry.file("HKEY_CLASSES_ROOT")); }
};

TEST_F(Startup, OrdinaryRunShowsTheMainDialogAndNoMessage)
{
    RecordingApp app("/usr/bin/Pellvane");
    app.recorder = &messages;
    EXPECT_EQ(app.InitInstance(), FALSE);
    EXPECT_EQ(app.dialogs, 1);
    EXPECT_TRUE(messages.texts().empty());
    EXPECT_EQ(app.comServerInitedDuringDialog, TRUE);
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(app.m_bComServerInited, FALSE);
    EXPECT_FALSE(PathExists(registry.file("HKEY_CLASSES_ROOT")));
}

TEST_F(Startup, UserWhoCannotWriteSettingsIsWarnedOnceThenSeesTheDialog)
{
    // The registry folder lies under a regular file: nothing can be written.
    TempDir dir;
    WriteFileBytes(dir / "file", "x");
    ScopedEnv blocked("TESSRA_REGISTRY_DIR", dir / "file/registry");

    RecordingApp app("/usr/bin/Pellvane");
    app.recorder = &messages;
    app.InitInstance();
    EXPECT_EQ(app.dialogs, 1);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, kAdminMessage);
    EXPECT_EQ(messages.shown()[0].type, MB_OK);
    EXPECT_EQ(app.messagesBeforeDialog, std::vector<std::string>{kAdminMessage});
}

TEST_F(Startup, RegistrationWordsEndTheRunWithoutWarningOrDialog)
{
    // Even a user who would be warned is not: registration ends first.
    struct Case {
        const char* line;
        bool registeredAfter;
    };
    const Case cases[] = {
        {"/usr/bin/Pellvane /RegServer", true},
        {"/usr/bin/Pellvane -regserver", true},
        {"/usr/bin/Pellvane /UnregServer", false},
    };
    for (const Case& c : cases) {
        messages.clear();
        RecordingApp app(c.line);
        EXPECT_EQ(app.InitInstance(), FALSE) << c.line;
        EXPECT_EQ(app.dialogs, 0) << c.line;
        EXPECT_TRUE(messages.texts().empty()) << c.line;
        EXPECT_EQ(app.m_bComServerInited, FALSE) << c.line;
        EXPECT_EQ(ClassesRoot().find("Pellvane.EXE") != std::string::npos, c.registeredAfter) << c.line;
    }
}

TEST_F(Startup, SecondInstanceEndsBeforeTheCommandLine)
{
    InstanceLock other;
    ASSERT_TRUE(other.Acquire("Veltrane Corporation:Tessra:5.0:Pellvane"));
    for (const char* line : {"/usr/bin/Pellvane", "/usr/bin/Pellvane /RegServer"}) {
        RecordingApp app(line);
        EXPECT_EQ(app.InitInstance(), FALSE) << line;
        EXPECT_EQ(app.dialogs, 0) << line;
        EXPECT_EQ(app.m_bComServerInited, FALSE) << line;
    }
    EXPECT_TRUE(messages.texts().empty());
    EXPECT_FALSE(PathExists(registry.file("HKEY_CLASSES_ROOT")));

    // Once the first instance is gone the next one runs.
    other.Release();
    RecordingApp app("/usr/bin/Pellvane");
    app.InitInstance();
    EXPECT_EQ(app.dialogs, 1);
}

TEST_F(Startup, InstanceHoldsTheMutexUntilItIsDestroyed)
{
    {
        RecordingApp first("/usr/bin/Pellvane");
        first.InitInstance();
        ASSERT_EQ(first.dialogs, 1);
        first.ExitInstance();
        RecordingApp second("/usr/bin/Pellvane");
        second.InitInstance();
        EXPECT_EQ(second.dialogs, 0);
    }
    RecordingApp third("/usr/bin/Pellvane");
    third.InitInstance();
    EXPECT_EQ(third.dialogs, 1);
}

TEST_F(Startup, ApplicationObjectIsFoundWhileItLives)
{
    EXPECT_EQ(AfxGetApp(), nullptr);
    {
        RecordingApp app("/usr/bin/Pellvane");
        EXPECT_EQ(AfxGetApp(), &app);
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
}

} // namespace
