// The main dialog under a real X server: texts, tabs and pages, help and about,
// the ways of closing it, and start-up without the right to change settings.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <wx/choice.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/tooltip.h>

#include "gui_support/gui_test_support.h"
#include "platform/dialog_units.h"
#include "platform/wait_cursor.h"
#include "settings/directory_settings.h"
#include "shell/installer_app_core.h"
#include "shell/installer_dlg.h"
#include "support/test_support.h"
#include "support/unprivileged.h"
#include "tests/settings/sample_host_fixture.h"

namespace {

// ShowModal's result when a test ended a dialog that was meant to stay open.
constexpr int kStillOpen = 4242;

std::string Utf8(const wxString& s) { return s.utf8_string(); }

// The dialog with its pages' finishing routines observed and its members in reach.
class TestDlg : public CInstallerDlg {
public:
    std::vector<std::string> finished;
    wxWindow* GuidePage() { return &m_pageGuide; }
    wxWindow* AddressPage() { return &m_pageAddress; }
    wxNotebook* Tabs() { return m_tabData; }
    wxChoice* Priority() { return m_comboPriority; }

protected:
    void FinishGuidePage() override { finished.push_back("SaveAndCompact"), CInstallerDlg::FinishGuidePage(); }
    void FinishAddressPage() override { finished.push_back("SaveDataPaths"), CInstallerDlg::FinishAddressPage(); }
};

void Send(wxWindow* window, wxEventType type, int id)
{
    wxCommandEvent event(type, id);
    event.SetEventObject(window);
    window->GetEventHandler()->ProcessEvent(event);
}

// Answers the main dialog's going modal by running body inside its loop; a
// dialog the body did not end is ended with kStillOpen.
ModalRecorder::Custom InsideModalLoop(std::function<void(wxDialog*)> body)
{
    return [body](wxDialog* d) {
        d->CallAfter([body, d] {
            PumpEvents();
            body(d);
            if (d->IsModal())
                d->EndModal(kStillOpen);
        });
        return static_cast<int>(wxID_NONE);
    };
}

class MainDialog : public ::testing::Test {
protected:
    ScratchRegistry registry;
    TempDir runtime;
    EnvVar runtimeDir{"XDG_RUNTIME_DIR", runtime.path()};
    SampleHost host;
    ModalRecorder modals;

    // Hard-disk paths of both kinds, so the pages need not ask the host.
    void SetUp() override
    {
        SetGuideHdPath((host.dir() / "Guide.dbs").c_str());
        SetAddressHdPath((host.dir() / "Address.dbs").c_str());
    }
};

TEST_F(MainDialog, TextsAndSize)
{
    TestDlg dlg;
    EXPECT_EQ(Utf8(dlg.GetTitle()), "データインストーラ");
    EXPECT_EQ(dlg.GetClientSize(), DlgSize(&dlg, 274, 211));
    EXPECT_EQ(Utf8(dlg.FindWindow(IDC_CLOSE_BUTTON)->GetLabel() + "|" + dlg.FindWindow(IDC_HELP_BUTTON)->GetLabel() + "|" +
                   dlg.Tabs()->GetPageText(0) + "|" + dlg.Tabs()->GetPageText(1) + "|" + dlg.Tabs()->GetToolTip()->GetTip()),
              "閉じる|ヘルプ|施設データ|住所データ|インストールする項目を選択します。");
    std::unique_ptr<wxMenu> menu(dlg.CreateSystemMenu());
    std::vector<std::string> items;
    for (wxMenuItem* item : menu->GetMenuItems())
        items.push_back(item->IsSeparator() ? "---" : std::to_string(item->GetId()) + " " + Utf8(item->GetItemLabel()));
    EXPECT_EQ(items, (std::vector<std::string>{"17 ヘルプ(&H)...", "---", "16 バージョン情報(&A)..."}));
}

TEST_F(MainDialog, GuidePageFirstThenTabsSwitchPagesAndSelectThePriority)
{
    const std::pair<DWORD, int> cases[] = {{~0u, 0}, {0, 0}, {3, wxNOT_FOUND}}; // CurrentData absent, 0, 3
    for (const auto& [currentData, selection] : cases) {
        if (currentData != ~0u) {
            HKEY key = nullptr;
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, kGuideKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
            RegSetValueExA(key, "CurrentData", 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&currentData), 4);
            RegCloseKey(key);
        }
        TestDlg dlg;
        // The hidden address page makes its controls once the dialog is on screen.
        EXPECT_EQ(dlg.AddressPage()->FindWindow(CAddressPage::IDC_APPLY), nullptr);
        dlg.Show();
        PumpEvents();
        EXPECT_NE(dlg.AddressPage()->FindWindow(CAddressPage::IDC_APPLY), nullptr);
        EXPECT_EQ(dlg.Tabs()->GetSelection(), 0);
        EXPECT_TRUE(dlg.GuidePage()->IsShown() && !dlg.AddressPage()->IsShown() && !dlg.Priority()->IsShown());
        for (int tab : {1, 0}) {
            dlg.Tabs()->SetSelection(tab);
            PumpEvents();
            EXPECT_EQ(std::make_pair(dlg.GuidePage()->IsShown(), dlg.AddressPage()->IsShown()), std::make_pair(tab == 0, tab == 1));
        }
        EXPECT_EQ(dlg.Priority()->GetSelection(), selection) << currentData;
    }
}

// Escape and Enter, wherever the focus is, do not end it; every way of
// closing finishes the guide page, then the address page.
// The pages read their lists before the dialog is on screen: no busy cursor
// is made for no window, and one begun later still ends.
TEST_F(MainDialog, TheBusyCursorOnlyOverAWindowOnScreen)
{
    {
        CWaitCursor beforeAnyWindow;
        EXPECT_FALSE(wxIsBusy());
        TestDlg dlg;
        EXPECT_FALSE(wxIsBusy());
        dlg.Show();
        {
            CWaitCursor overTheDialog;
            EXPECT_TRUE(wxIsBusy());
        }
        EXPECT_FALSE(wxIsBusy());
    }
    EXPECT_FALSE(wxIsBusy());
    EXPECT_EQ(WaitCursorDepth(), 0);
}

TEST_F(MainDialog, OnlyClosingEndsItAndFinishesGuideThenAddress)
{
    // A key as wxGTK delivers it: the char hook first, then key-down and char unless it was consumed.
    auto press = [](wxWindow* focus, int keyCode) {
        for (wxEventType type : {wxEVT_CHAR_HOOK, wxEVT_KEY_DOWN, wxEVT_CHAR}) {
            wxKeyEvent key(type);
            key.m_keyCode = keyCode;
            key.SetEventObject(focus);
            if (focus->HandleWindowEvent(key) && type == wxEVT_CHAR_HOOK && !key.IsNextEventAllowed())
                return;
        }
    };
    const std::function<void(wxDialog*)> closers[] = {
        [](wxDialog* d) { Send(d->FindWindow(IDC_CLOSE_BUTTON), wxEVT_BUTTON, IDC_CLOSE_BUTTON); },
        [](wxDialog* d) { d->Close(); }, // the window manager's close box and Alt+F4
        [](wxDialog* d) { static_cast<TestDlg*>(d)->OnSysCommand(SC_CLOSE); },
    };
    for (const auto& close : closers) {
        TestDlg dlg;
        std::vector<std::string> afterKeys;
        modals.AnswerCustom(InsideModalLoop([&](wxDialog* d) {
            for (wxWindow* focus : {static_cast<wxWindow*>(dlg.Tabs()), static_cast<wxWindow*>(d)})
                for (const auto& [key, name] : {std::pair{WXK_ESCAPE, "Esc"}, std::pair{WXK_RETURN, "Enter"},
                                                std::pair{WXK_NUMPAD_ENTER, "keypad Enter"}}) {
                    press(focus, key);
                    PumpEvents();
                    afterKeys.push_back(std::string(name) + (d->IsModal() ? " open" : " ended") +
                                        (dlg.finished.empty() ? "" : " finished"));
                }
            if (d->IsModal())
                close(d);
        }));
        EXPECT_EQ(dlg.ShowModal(), wxID_OK);
        EXPECT_EQ(afterKeys, (std::vector<std::string>{"Esc open", "Enter open", "keypad Enter open", "Esc open",
                                                       "Enter open", "keypad Enter open"}));
        EXPECT_EQ(dlg.finished, (std::vector<std::string>{"SaveAndCompact", "SaveDataPaths"}));
    }
    EXPECT_TRUE(modals.messages().empty());
}

TEST_F(MainDialog, HelpAndAboutReachTheHostOrSayWhyNot)
{
    TestDlg dlg;
    dlg.Show();
    modals.AnswerMessage(wxID_OK);
    modals.AnswerMessage(wxID_OK);
    dlg.OnSysCommand(IDM_HELP);
    dlg.OnSysCommand(IDM_ABOUTBOX);
    ASSERT_EQ(modals.messages(),
              (std::vector<std::string>{"QuickLaunchObjectの作成に失敗した", "AboutDialogObjectの作成に失敗した"}));
    EXPECT_EQ(modals.shown()[1].style & (wxOK | wxYES_NO | wxCANCEL), wxOK);

    SampleHost::Register();
    modals.clear();
    Send(dlg.FindWindow(IDC_HELP_BUTTON), wxEVT_BUTTON, IDC_HELP_BUTTON);
    Send(&dlg, wxEVT_MENU, ID_HELP); // F1
    Send(&dlg, wxEVT_MENU, IDM_ABOUTBOX);
    EXPECT_EQ(host.TakeCalls(), (std::vector<std::string>{"LaunchProgram Pellvane", "LaunchProgram Pellvane", "ShowAboutBox"}));
    EXPECT_TRUE(modals.shown().empty());

    host.FailMethod("LaunchProgram,ShowAboutBox");
    modals.AnswerMessage(wxID_OK);
    modals.AnswerMessage(wxID_OK);
    Send(&dlg, wxEVT_MENU, IDM_HELP);
    Send(&dlg, wxEVT_MENU, IDM_ABOUTBOX);
    EXPECT_EQ(modals.messages(), (std::vector<std::string>{"ヘルプの表示 に失敗した。", "バージョン情報の表示 に失敗した"}));
}

// The application object with the real main dialog, as the program runs it.
class InstallerRun : public CInstallerAppCore {
public:
    InstallerRun() { m_strCommandLine = "/usr/bin/Pellvane"; }

protected:
    void RunMainDialog() override { RunInstallerDialog(); }
};

// A registry folder under a regular file: nothing can be written or read, so
// both pages then cannot ask the host for a folder either.
TEST_F(MainDialog, AdministratorMessageOnceThenTheDialogForWhoCannotChangeSettings)
{
    WriteFileBytes(host.dir() / "file", "x");
    EnvVar registryDir("TESSRA_REGISTRY_DIR", host.dir() / "file/registry");
    for (int i = 0; i < 3; ++i)
        modals.AnswerMessage(wxID_OK);
    modals.AnswerCustom(
        InsideModalLoop([](wxDialog* d) { Send(d->FindWindow(IDC_CLOSE_BUTTON), wxEVT_BUTTON, IDC_CLOSE_BUTTON); }));
    InstallerRun app;
    EXPECT_EQ(app.InitInstance(), FALSE);
    EXPECT_EQ(modals.messages(),
              (std::vector<std::string>{"設定の変更にはAdministrator権限が必要です。\nシステムの管理者にお問い合わせ下さい。",
                                        "TessraFolderObjectの作成に失敗した", "TessraFolderObjectの作成に失敗した"}));
    ASSERT_EQ(modals.shown().size(), 4u);
    EXPECT_EQ(modals.shown().back().kind, "CInstallerDlg");
}

const char kAdministrator[] = "設定の変更にはAdministrator権限が必要です。\nシステムの管理者にお問い合わせ下さい。";
const std::string kMachineHeader = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\"
                                   "DirectoryServices\\";

// Runs the installer to its close button and returns the messages shown.
std::vector<std::string> RunToClose(ModalRecorder& modals, int messages)
{
    for (int i = 0; i < messages; ++i)
        modals.AnswerMessage(wxID_OK);
    modals.AnswerCustom(
        InsideModalLoop([](wxDialog* d) { Send(d->FindWindow(IDC_CLOSE_BUTTON), wxEVT_BUTTON, IDC_CLOSE_BUTTON); }));
    InstallerRun app;
    EXPECT_EQ(app.InitInstance(), FALSE);
    EXPECT_EQ(modals.shown().back().kind, "CInstallerDlg");
    return modals.messages();
}

// A file the registry does not understand is one nobody can write: the
// administrator message. Stored paths the program cannot use (no CP932 form,
// longer than the read buffer): one message of their own. Either way the
// file keeps its bytes through a whole run.
TEST_F(MainDialog, RegistryFilesItCannotUseKeepTheirBytesAndTheUserIsTold)
{
    SampleHost::Register();
    const std::string unusable =
        "AddressDirectory]\n\"DataPath_0\"=\"/media/Café/Adr_L.dbs\"\n\"DataPath_1\"=\"/srv/𠮷野/Address.dbs\"\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory]\n"
        "\"DataPath_0\"=\"/media/한국/Guide.dbs\"\n\"DataPath_1\"=\"/srv/" + std::string(1100, 'x') + "/Guide.dbs\"\n\n";
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {kMachineHeader + "GuideDirectory]\n\"DataPath_0\"=\"/cdrom/Guide.dbs\"\n; a comment\n", {kAdministrator}},
        {kMachineHeader + unusable,
         {"レジストリに記録されているデータのパスは、このプログラムでは使用できません。\n"
          "（扱えない文字が含まれているか、長すぎます。）\n\n"
          "記録されているパスはそのまま残ります。変更する場合は、フォルダを選択し直してください。"}},
    };
    for (const auto& [bytes, expected] : cases) {
        ForgetUnusableDirectoryValues();
        modals.clear();
        WriteFileBytes(registry.file("HKEY_LOCAL_MACHINE"), bytes);
        EXPECT_EQ(RunToClose(modals, 1), expected);
        EXPECT_EQ(ReadFileBytes(registry.file("HKEY_LOCAL_MACHINE")), bytes);
    }
}

// As a user who may not write the registry's file and folder (root may):
// the administrator message once, the dialog, and the file as it was.
TEST_F(MainDialog, AdministratorMessageForAUserWhoCannotWriteTheRegistry)
{
    const char* shared = std::getenv("PELLVANE_TEST_REGISTRY");
    TempDir folder;
    const std::string bytes = kMachineHeader + "GuideDirectory]\n\"DataPath_0\"=\"/cdrom/Guide.dbs\"\n\"DataPath_1\"=\"" +
                              folder.path() + "/Guide.dbs\"\n\n" + kMachineHeader.substr(kMachineHeader.find('[')) +
                              "AddressDirectory]\n\"DataPath_1\"=\"" + folder.path() + "/Address.dbs\"\n\n";
    if (!shared) {
        WriteFileBytes(folder / "HKEY_LOCAL_MACHINE.reg", bytes);
        chmod((folder / "HKEY_LOCAL_MACHINE.reg").c_str(), 0444);
        chmod(folder.path().c_str(), 0555);
        if (!RunsUnprivileged({"PELLVANE_TEST_REGISTRY=" + folder.path()})) {
            EXPECT_EQ(ReadFileBytes(folder / "HKEY_LOCAL_MACHINE.reg"), bytes);
            EXPECT_EQ(ListDir(folder.path()), std::vector<std::string>{"HKEY_LOCAL_MACHINE.reg"});
            return;
        }
        shared = folder.path().c_str();
    }
    const std::string file = std::string(shared) + "/HKEY_LOCAL_MACHINE.reg";
    const std::string before = ReadFileBytes(file);
    EnvVar registryDir("TESSRA_REGISTRY_DIR", shared);
    EXPECT_EQ(RunToClose(modals, 1), std::vector<std::string>{kAdministrator});
    EXPECT_EQ(ReadFileBytes(file), before);
}

} // namespace
