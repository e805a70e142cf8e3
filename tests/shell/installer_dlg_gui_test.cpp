// The main dialog under a real X server: texts, tabs and pages, the hidden
// priority selector, help and about, the keys that must not end it, the ways
// of closing it, and start-up without the right to change settings.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <wx/app.h>
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
    void FinishGuidePage() override
    {
        finished.push_back("SaveAndCompact");
        CInstallerDlg::FinishGuidePage();
    }
    void FinishAddressPage() override
    {
        finished.push_back("SaveDataPaths");
        CInstallerDlg::FinishAddressPage();
    }
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
    EXPECT_EQ(Utf8(dlg.FindWindow(IDC_CLOSE_BUTTON)->GetLabel()), "閉じる");
    EXPECT_EQ(Utf8(dlg.FindWindow(IDC_HELP_BUTTON)->GetLabel()), "ヘルプ");
    EXPECT_EQ(Utf8(dlg.Tabs()->GetToolTip()->GetTip()), "インストールする項目を選択します。");
    EXPECT_EQ(Utf8(dlg.Tabs()->GetPageText(0) + "|" + dlg.Tabs()->GetPageText(1)), "施設データ|住所データ");
    std::unique_ptr<wxMenu> menu(dlg.CreateSystemMenu());
    std::vector<std::string> items;
    for (wxMenuItem* item : menu->GetMenuItems())
        items.push_back(item->IsSeparator() ? "---" : std::to_string(item->GetId()) + " " + Utf8(item->GetItemLabel()));
    EXPECT_EQ(items, (std::vector<std::string>{"17 ヘルプ(&H)...", "---", "16 バージョン情報(&A)..."}));
}

TEST_F(MainDialog, GuidePageFirstThenTabsSwitchPagesAndSelectThePriority)
{
    const std::pair<const char*, int> cases[] = {{nullptr, 0}, {"CurrentData 0", 0}, {"CurrentData 3", wxNOT_FOUND}};
    for (const auto& [currentData, selection] : cases) {
        if (currentData) {
            const DWORD value = currentData[12] - '0';
            HKEY key = nullptr;
            ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kGuideKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            RegSetValueExA(key, "CurrentData", 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&value), 4);
            RegCloseKey(key);
        }
        TestDlg dlg;
        dlg.Show();
        PumpEvents();
        EXPECT_EQ(dlg.Tabs()->GetSelection(), 0);
        EXPECT_TRUE(dlg.GuidePage()->IsShown() && !dlg.AddressPage()->IsShown());
        EXPECT_FALSE(dlg.Priority()->IsShown());
        for (int tab : {1, 0}) {
            dlg.Tabs()->SetSelection(tab);
            PumpEvents();
            EXPECT_EQ(dlg.AddressPage()->IsShown(), tab == 1);
            EXPECT_EQ(dlg.GuidePage()->IsShown(), tab == 0);
        }
        EXPECT_EQ(dlg.Priority()->GetSelection(), selection) << (currentData ? currentData : "CurrentData absent");
        dlg.Hide();
    }
}

TEST_F(MainDialog, EscapeAndEnterDoNotEndIt)
{
    TestDlg dlg;
    // A key as wxGTK delivers it: the char hook first, then key-down and char unless it was consumed.
    auto press = [](wxWindow* focus, int keyCode) {
        wxKeyEvent hook(wxEVT_CHAR_HOOK);
        hook.m_keyCode = keyCode;
        hook.SetEventObject(focus);
        if (focus->HandleWindowEvent(hook) && !hook.IsNextEventAllowed())
            return;
        for (wxEventType type : {wxEVT_KEY_DOWN, wxEVT_CHAR}) {
            wxKeyEvent key(type);
            key.m_keyCode = keyCode;
            key.SetEventObject(focus);
            focus->HandleWindowEvent(key);
        }
    };
    modals.AnswerCustom(InsideModalLoop([&](wxDialog*) {
        for (wxWindow* focus : {static_cast<wxWindow*>(dlg.Tabs()), dlg.GuidePage(), static_cast<wxWindow*>(&dlg)}) {
            for (int key : {WXK_ESCAPE, WXK_RETURN, WXK_NUMPAD_ENTER})
                press(focus, key);
            PumpEvents();
        }
    }));
    EXPECT_EQ(dlg.ShowModal(), kStillOpen);
    EXPECT_TRUE(dlg.finished.empty());
    EXPECT_TRUE(modals.messages().empty());
}

TEST_F(MainDialog, EveryWayOfClosingFinishesGuideThenAddress)
{
    const std::function<void(wxDialog*)> closers[] = {
        [](wxDialog* d) { Send(d->FindWindow(IDC_CLOSE_BUTTON), wxEVT_BUTTON, IDC_CLOSE_BUTTON); },
        [](wxDialog* d) { d->Close(); }, // the window manager's close box and Alt+F4
        [](wxDialog* d) { static_cast<TestDlg*>(d)->OnSysCommand(SC_CLOSE); },
    };
    for (const auto& close : closers) {
        TestDlg dlg;
        modals.AnswerCustom(InsideModalLoop(close));
        EXPECT_EQ(dlg.ShowModal(), wxID_OK);
        EXPECT_EQ(dlg.finished, (std::vector<std::string>{"SaveAndCompact", "SaveDataPaths"}));
    }
}

TEST_F(MainDialog, HelpAndAboutReachTheHostOrSayWhyNot)
{
    TestDlg dlg;
    dlg.Show();
    modals.AnswerMessage(wxID_OK);
    modals.AnswerMessage(wxID_OK);
    dlg.OnSysCommand(IDM_HELP);
    dlg.OnSysCommand(IDM_ABOUTBOX);
    EXPECT_EQ(modals.messages(),
              (std::vector<std::string>{"QuickLaunchObjectの作成に失敗した", "AboutDialogObjectの作成に失敗した"}));
    for (const auto& shown : modals.shown()) {
        EXPECT_EQ(shown.caption, Utf8(wxTheApp->GetAppName()));
        EXPECT_EQ(shown.style & (wxOK | wxYES_NO | wxCANCEL), wxOK);
    }

    SampleHost::Register();
    modals.clear();
    const struct {
        wxEventType type;
        int id;
        const char* call;
    } cases[] = {
        {wxEVT_BUTTON, IDC_HELP_BUTTON, "LaunchProgram Pellvane"},
        {wxEVT_MENU, IDM_HELP, "LaunchProgram Pellvane"},
        {wxEVT_MENU, ID_HELP, "LaunchProgram Pellvane"}, // F1
        {wxEVT_MENU, IDM_ABOUTBOX, "ShowAboutBox"},
    };
    for (const auto& c : cases) {
        Send(c.type == wxEVT_BUTTON ? dlg.FindWindow(c.id) : &dlg, c.type, c.id);
        EXPECT_EQ(host.TakeCalls(), std::vector<std::string>{c.call}) << c.id;
    }
    EXPECT_TRUE(modals.shown().empty());
    EXPECT_TRUE(dlg.IsShown());
    dlg.Hide();
}

// The application object with the real main dialog, as the program runs it.
class InstallerRun : public CInstallerAppCore {
public:
    InstallerRun() { m_strCommandLine = "/usr/bin/Pellvane"; }

protected:
    void RunMainDialog() override { RunInstallerDialog(); }
};

TEST_F(MainDialog, AdministratorMessageOnceThenTheDialogOnlyForWhoCannotChangeSettings)
{
    const char* noFolder = "TessraFolderObjectの作成に失敗した";
    WriteFileBytes(host.dir() / "file", "x");
    for (bool blocked : {false, true}) {
        // A registry folder under a regular file: nothing can be written or
        // read, so both pages then cannot ask the host for a folder either.
        EnvVar registryDir("TESSRA_REGISTRY_DIR", blocked ? host.dir() / "file/registry" : registry.dir());
        const std::vector<std::string> expected =
            blocked ? std::vector<std::string>{"設定の変更にはAdministrator権限が必要です。\nシステムの管理者にお問い合わせ下さい。",
                                               noFolder, noFolder}
                    : std::vector<std::string>{};
        modals.clear();
        for (size_t i = 0; i < expected.size(); ++i)
            modals.AnswerMessage(wxID_OK);
        modals.AnswerCustom(
            InsideModalLoop([](wxDialog* d) { Send(d->FindWindow(IDC_CLOSE_BUTTON), wxEVT_BUTTON, IDC_CLOSE_BUTTON); }));
        InstallerRun app;
        EXPECT_EQ(app.InitInstance(), FALSE);
        EXPECT_EQ(modals.messages(), expected) << blocked;
        ASSERT_EQ(modals.shown().size(), expected.size() + 1);
        EXPECT_EQ(modals.shown().back().kind, "CInstallerDlg");
    }
}

} // namespace
