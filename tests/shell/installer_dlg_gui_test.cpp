// The main dialog under a real X server: texts, tabs and pages, help and about,
// the ways of closing it, and start-up without the right to change settings.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <wx/choice.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/tooltip.h>

#include "gui_support/gui_test_support.h"
#include "platform/dialog_units.h"
#include "settings/directory_settings.h"
#include "shell/installer_app_core.h"
#include "shell/installer_dlg.h"
#include "support/test_support.h"
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
        dlg.Show();
        PumpEvents();
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
        modals.AnswerCustom(InsideModalLoop([&](wxDialog* d) {
            for (wxWindow* focus : {static_cast<wxWindow*>(dlg.Tabs()), static_cast<wxWindow*>(d)})
                for (int key : {WXK_ESCAPE, WXK_RETURN, WXK_NUMPAD_ENTER})
                    press(focus, key);
            PumpEvents();
            if (d->IsModal() && dlg.finished.empty())
                close(d);
        }));
        EXPECT_EQ(dlg.ShowModal(), wxID_OK);
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

} // namespace
