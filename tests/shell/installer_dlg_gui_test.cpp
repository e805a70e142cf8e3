// The main dialog under a real X server: layout, tabs and pages, the hidden
// priority selector, the help and about items, the keys that must not end
// it, the ways of closing it, and start-up with and without the right to
// change settings. Every modal window is answered.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/tooltip.h>

#include "gui_support/gui_test_support.h"
#include "platform/dialog_units.h"
#include "platform/registry.h"
#include "platform/wx_hooks.h"
#include "settings/directory_settings.h"
#include "shell/installer_app_core.h"
#include "shell/installer_dlg.h"
#include "support/test_support.h"
#include "tests/shell/shell_test_support.h"

namespace {

const char* const kAdminMessage = "設定の変更にはAdministrator権限が必要です。\nシステムの管理者にお問い合わせ下さい。";
// ShowModal's result when a test ended a dialog that was meant to stay open.
constexpr int kStillOpen = 4242;

std::string Utf8(const wxString& s) { return s.utf8_string(); }

// The dialog with its pages' finishing routines observed and its members in reach.
class TestDlg : public CInstallerDlg {
public:
    std::vector<std::string> finished;
    wxWindow* GuidePage() { return &m_pageGuide; }
    wxWindow* AddressPage() { return &m_pageAddress; }
    wxWindow* PageFrame() { return m_staticPageFrame; }
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
        if (!dynamic_cast<CInstallerDlg*>(d)) {
            ADD_FAILURE() << "expected the main dialog, got " << Utf8(d->GetTitle());
            return static_cast<int>(wxID_CANCEL);
        }
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
    TempDir data;
    TempDir runtime;
    ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtime.path()};
    ScopedEnv dataHome{"XDG_DATA_HOME", data.path()};
    SampleHost host;
    ModalRecorder modals;

    // Hard-disk paths of both kinds, so the pages need not ask the host.
    void SetUp() override { SetPaths(); }
    void SetPaths()
    {
        SetGuideHdPath((data / "Guide.dbs").c_str());
        SetAddressHdPath((data / "Address.dbs").c_str());
    }
};

TEST_F(MainDialog, LayoutTextsAndTooltips)
{
    TestDlg dlg;
    dlg.Show();
    PumpEvents();
    EXPECT_EQ(Utf8(dlg.GetTitle()), "データインストーラ");
    EXPECT_EQ(dlg.GetClientSize(), DlgSize(&dlg, 274, 211));
    EXPECT_FALSE(dlg.HasFlag(wxMINIMIZE_BOX) || dlg.HasFlag(wxMAXIMIZE_BOX) || dlg.HasFlag(wxRESIZE_BORDER));

    EXPECT_EQ(Utf8(dlg.FindWindow(IDC_CLOSE_BUTTON)->GetLabel()), "閉じる");
    EXPECT_EQ(Utf8(dlg.FindWindow(IDC_HELP_BUTTON)->GetLabel()), "ヘルプ");
    ASSERT_TRUE(dlg.Tabs()->GetToolTip());
    EXPECT_EQ(Utf8(dlg.Tabs()->GetToolTip()->GetTip()), "インストールする項目を選択します。");
    ASSERT_EQ(dlg.Tabs()->GetPageCount(), 2u);
    EXPECT_EQ(Utf8(dlg.Tabs()->GetPageText(0)), "施設データ");
    EXPECT_EQ(Utf8(dlg.Tabs()->GetPageText(1)), "住所データ");

    // The page frame lies inside the tab control and holds both pages.
    EXPECT_EQ(dlg.PageFrame()->GetRect(), DlgRect(&dlg, 9, 22, 254, 154));
    EXPECT_TRUE(dlg.Tabs()->GetRect().Contains(dlg.PageFrame()->GetRect()));
    EXPECT_EQ(dlg.GuidePage()->GetParent(), dlg.PageFrame());
    EXPECT_EQ(dlg.AddressPage()->GetParent(), dlg.PageFrame());
    // The priority selector is there, hidden, holding the empty item.
    EXPECT_FALSE(dlg.Priority()->IsShown());
    ASSERT_EQ(dlg.Priority()->GetCount(), 1u);
    EXPECT_EQ(Utf8(dlg.Priority()->GetString(0)), "");

    std::unique_ptr<wxMenu> menu(dlg.CreateSystemMenu());
    std::vector<std::string> items;
    for (wxMenuItem* item : menu->GetMenuItems())
        items.push_back(item->IsSeparator() ? "---" : std::to_string(item->GetId()) + " " + Utf8(item->GetItemLabel()));
    EXPECT_EQ(items, (std::vector<std::string>{"17 ヘルプ(&H)...", "---", "16 バージョン情報(&A)..."}));
    dlg.Hide();
}

TEST_F(MainDialog, GuidePageFirstThenTabsSwitchPagesAndSelectThePriority)
{
    const struct {
        const char* what;
        bool set;
        DWORD currentData;
        int selection;
    } cases[] = {{"CurrentData absent", false, 0, 0}, {"CurrentData 0", true, 0, 0}, {"CurrentData 3", true, 3, wxNOT_FOUND}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchRegistry fresh;
        SetPaths();
        if (c.set) {
            HKEY key = nullptr;
            ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kGuideKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            RegSetValueExA(key, "CurrentData", 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&c.currentData), 4);
            RegCloseKey(key);
        }
        TestDlg dlg;
        dlg.Show();
        PumpEvents();
        EXPECT_EQ(dlg.Tabs()->GetSelection(), 0);
        EXPECT_EQ(dlg.Priority()->GetSelection(), wxNOT_FOUND) << "no selection before the first tab change";
        for (int tab : {0, 1, 0}) {
            dlg.Tabs()->SetSelection(tab);
            PumpEvents();
            EXPECT_EQ(dlg.GuidePage()->IsShown(), tab == 0);
            EXPECT_EQ(dlg.AddressPage()->IsShown(), tab == 1);
        }
        EXPECT_EQ(dlg.Priority()->GetSelection(), c.selection);
        // The dialog never writes CurrentData.
        EXPECT_EQ(ReadFileBytes(fresh.file("HKEY_LOCAL_MACHINE")).find("CurrentData") != std::string::npos, c.set);
        dlg.Hide();
    }
}

TEST_F(MainDialog, EscapeAndEnterDoNotEndIt)
{
    TestDlg dlg;
    // A key as wxGTK delivers it: the char hook first (it rises to the
    // dialog), then key-down and char unless it was consumed.
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
        for (wxWindow* focus :
             {static_cast<wxWindow*>(dlg.Tabs()), dlg.GuidePage(), dlg.AddressPage(), static_cast<wxWindow*>(&dlg)}) {
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
    const struct {
        const char* what;
        std::function<void(wxDialog*)> close;
    } cases[] = {
        {"close button", [](wxDialog* d) { Send(d->FindWindow(IDC_CLOSE_BUTTON), wxEVT_BUTTON, IDC_CLOSE_BUTTON); }},
        // The window manager's close box and Alt+F4 arrive as a close request.
        {"close box", [](wxDialog* d) { d->Close(); }},
        {"system close", [](wxDialog* d) { static_cast<TestDlg*>(d)->OnSysCommand(SC_CLOSE); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestDlg dlg;
        modals.AnswerCustom(InsideModalLoop(c.close));
        EXPECT_EQ(dlg.ShowModal(), wxID_OK);
        EXPECT_EQ(dlg.finished, (std::vector<std::string>{"SaveAndCompact", "SaveDataPaths"}));
    }
}

TEST_F(MainDialog, HelpAndAboutReachTheHostOrSayWhyNot)
{
    TestDlg dlg;
    dlg.Show();
    // Not registered: the exact message, OK only, the dialog stays.
    for (const auto& [command, message] : {std::pair{IDM_HELP, "QuickLaunchObjectの作成に失敗した"},
                                           std::pair{IDM_ABOUTBOX, "AboutDialogObjectの作成に失敗した"}}) {
        modals.clear();
        modals.AnswerMessage(wxID_OK);
        dlg.OnSysCommand(command);
        ASSERT_EQ(modals.shown().size(), 1u);
        EXPECT_EQ(modals.shown()[0].text, message);
        EXPECT_EQ(modals.shown()[0].caption, Utf8(wxTheApp->GetAppName()));
        EXPECT_EQ(modals.shown()[0].style & (wxOK | wxYES_NO | wxCANCEL), wxOK);
    }
    EXPECT_TRUE(host.TakeCalls().empty());

    ASSERT_TRUE(SampleHost::Register());
    modals.clear();
    const struct {
        const char* what;
        wxEventType type;
        int id;
        const char* call;
    } cases[] = {
        {"help button", wxEVT_BUTTON, IDC_HELP_BUTTON, "LaunchProgram Pellvane"},
        {"help item", wxEVT_MENU, IDM_HELP, "LaunchProgram Pellvane"},
        {"F1", wxEVT_MENU, ID_HELP, "LaunchProgram Pellvane"},
        {"about item", wxEVT_MENU, IDM_ABOUTBOX, "ShowAboutBox"},
    };
    for (const auto& c : cases) {
        Send(c.type == wxEVT_BUTTON ? dlg.FindWindow(c.id) : &dlg, c.type, c.id);
        EXPECT_EQ(host.TakeCalls(), std::vector<std::string>{c.call}) << c.what;
    }
    EXPECT_TRUE(modals.shown().empty());
    EXPECT_TRUE(dlg.IsShown());
    EXPECT_TRUE(dlg.finished.empty());
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
    const std::string noFolder = "TessraFolderObjectの作成に失敗した";
    for (bool blocked : {false, true}) {
        SCOPED_TRACE(blocked ? "settings cannot be written" : "settings can be written");
        // A registry folder under a regular file: nothing can be written, or
        // read, so both pages then say they cannot ask the host for a folder.
        WriteFileBytes(data / "file", "x");
        ScopedEnv registryDir("TESSRA_REGISTRY_DIR", blocked ? data / "file/registry" : registry.dir());
        const std::vector<std::string> expected =
            blocked ? std::vector<std::string>{kAdminMessage, noFolder, noFolder} : std::vector<std::string>{};
        modals.clear();
        for (size_t i = 0; i < expected.size(); ++i)
            modals.AnswerMessage(wxID_OK);
        bool closed = false;
        modals.AnswerCustom(InsideModalLoop([&](wxDialog* d) {
            Send(d->FindWindow(IDC_CLOSE_BUTTON), wxEVT_BUTTON, IDC_CLOSE_BUTTON);
            closed = !d->IsModal();
        }));
        InstallerRun app;
        EXPECT_EQ(app.InitInstance(), FALSE);
        EXPECT_TRUE(closed) << "the close button ends the dialog";
        EXPECT_EQ(modals.messages(), expected);
        ASSERT_EQ(modals.shown().size(), expected.size() + 1);
        if (blocked) {
            EXPECT_EQ(modals.shown()[0].caption, Utf8(wxTheApp->GetAppName()));
            EXPECT_EQ(modals.shown()[0].style & (wxOK | wxYES_NO | wxCANCEL), wxOK);
        }
        EXPECT_EQ(modals.shown().back().kind, "CInstallerDlg");
        EXPECT_EQ(modals.shown().back().caption, "データインストーラ");
    }
}

} // namespace
