// The main dialog under a real X server: layout, tabs and pages, the hidden
// priority selector, tooltips, the help and about items, the keys that must
// not end it, the three ways of closing it, and start-up as a user who may
// not change settings. Every modal window is answered.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/notebook.h>
#include <wx/stattext.h>
#include <wx/tooltip.h>

#include "gui_support/gui_test_support.h"
#include "platform/dialog_units.h"
#include "platform/message_box.h"
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

// The dialog with its pages' finishing routines observed and its members
// in reach.
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

// Answers every modal window while it is registered: what the pages may
// have to say when they start is theirs, not this dialog's.
class AnswerAll : public wxModalDialogHook {
public:
    struct Shown {
        std::string text; // message text, or "<ClassName>" for other dialogs
        std::string caption;
        long style = 0;
    };
    std::vector<Shown> shown;
    // What to do with the main dialog when it goes modal.
    std::function<int(wxDialog*)> onMainDialog;

    AnswerAll() { Register(); }

protected:
    int Enter(wxDialog* dlg) override
    {
        if (auto* msg = dynamic_cast<wxMessageDialog*>(dlg)) {
            shown.push_back({Utf8(msg->GetMessage()), Utf8(msg->GetCaption()), msg->GetMessageDialogStyle()});
            return (msg->GetMessageDialogStyle() & wxYES_NO) ? wxID_NO : wxID_OK;
        }
        shown.push_back({"<" + Utf8(dlg->GetClassInfo()->GetClassName()) + ">", Utf8(dlg->GetTitle()), 0});
        if (dynamic_cast<CInstallerDlg*>(dlg) && onMainDialog)
            return onMainDialog(dlg);
        return wxID_CANCEL;
    }
    void Exit(wxDialog*) override {}
};

void Click(wxWindow* button)
{
    wxCommandEvent event(wxEVT_BUTTON, button->GetId());
    event.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(event);
}

void Command(wxWindow* window, int id)
{
    wxCommandEvent event(wxEVT_MENU, id);
    event.SetEventObject(window);
    window->GetEventHandler()->ProcessEvent(event);
}

// A key as wxGTK delivers it to the focused window: the char hook first
// (it rises to the dialog), then key-down and char unless it was consumed.
void PressKey(wxWindow* focus, int keyCode)
{
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
}

// Ends a dialog a test left open, so that no test can hang on it.
void EndIfStillOpen(wxDialog* dlg)
{
    if (dlg->IsModal())
        dlg->EndModal(kStillOpen);
}

class MainDialog : public ::testing::Test {
protected:
    ScratchRegistry registry;
    TempDir data;
    TempDir runtime;
    ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtime.path()};
    ScopedEnv dataHome{"XDG_DATA_HOME", data.path()};
    ScopedEnv hostLog{"TESSRA_SAMPLE_HOST_LOG", data / "host.log"};
    ScopedEnv hostNoUi{"TESSRA_SAMPLE_HOST_NO_UI", "1"};

    void SetUp() override
    {
        // Hard-disk paths of both kinds, so the pages need not ask the host.
        SetGuideHdPath((data / "Guide.dbs").c_str());
        SetAddressHdPath((data / "Address.dbs").c_str());
    }

    static void SetCurrentData(DWORD value)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kGuideKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "CurrentData", 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&value),
                       sizeof(value));
        RegCloseKey(key);
    }

    // The dialog, built with whatever its pages show on the way answered.
    static std::unique_ptr<TestDlg> MakeDialog()
    {
        AnswerAll quiet;
        return std::make_unique<TestDlg>();
    }

    // Runs dlg modally; body runs inside its modal loop. A dialog the body
    // did not end is ended with kStillOpen. Returns ShowModal's result.
    static int RunModal(ModalRecorder& modals, TestDlg& dlg, const std::function<void()>& body)
    {
        modals.AnswerCustom([&](wxDialog* d) {
            d->CallAfter([&body, d] {
                PumpEvents();
                body();
                EndIfStillOpen(d);
            });
            return static_cast<int>(wxID_NONE);
        });
        return dlg.ShowModal();
    }

    std::vector<std::string> HostLog() const { return ReadLog(data / "host.log"); }
};

TEST_F(MainDialog, TemplateLayoutTextsAndTooltips)
{
    auto dlg = MakeDialog();
    dlg->Show();
    PumpEvents();

    EXPECT_EQ(Utf8(dlg->GetTitle()), "データインストーラ");
    EXPECT_EQ(dlg->GetClientSize(), DlgSize(dlg.get(), 274, 211));
    EXPECT_FALSE(dlg->HasFlag(wxMINIMIZE_BOX));
    EXPECT_FALSE(dlg->HasFlag(wxMAXIMIZE_BOX));
    EXPECT_FALSE(dlg->HasFlag(wxRESIZE_BORDER));
    EXPECT_EQ(dlg->GetParent(), nullptr);
    EXPECT_EQ(dlg->GetIcons().GetIconCount(), 2u);

    auto* close = wxDynamicCast(dlg->FindWindow(IDC_CLOSE_BUTTON), wxButton);
    auto* help = wxDynamicCast(dlg->FindWindow(IDC_HELP_BUTTON), wxButton);
    ASSERT_TRUE(close && help);
    EXPECT_EQ(Utf8(close->GetLabel()), "閉じる");
    EXPECT_EQ(Utf8(help->GetLabel()), "ヘルプ");
    EXPECT_TRUE(close->IsShown() && help->IsShown());
    EXPECT_EQ(close->GetPosition(), DlgRect(dlg.get(), 170, 190, 47, 14).GetPosition());
    EXPECT_EQ(help->GetPosition(), DlgRect(dlg.get(), 224, 190, 44, 14).GetPosition());

    ASSERT_EQ(dlg->Tabs()->GetPageCount(), 2u);
    EXPECT_EQ(dlg->Tabs()->GetId(), IDC_DATA_TAB);
    EXPECT_EQ(Utf8(dlg->Tabs()->GetPageText(0)), "施設データ");
    EXPECT_EQ(Utf8(dlg->Tabs()->GetPageText(1)), "住所データ");

    // Tooltips 5130, 5020, 5133.
    ASSERT_TRUE(dlg->Tabs()->GetToolTip() && close->GetToolTip() && help->GetToolTip());
    EXPECT_EQ(Utf8(dlg->Tabs()->GetToolTip()->GetTip()), "インストールする項目を選択します。");
    EXPECT_EQ(Utf8(close->GetToolTip()->GetTip()), "データインストーラを終了します。");
    EXPECT_EQ(Utf8(help->GetToolTip()->GetTip()), "ヘルプを表示します。");

    // The page frame lies inside the tab control and holds both pages.
    EXPECT_EQ(dlg->PageFrame()->GetId(), IDC_PAGE_FRAME);
    EXPECT_EQ(dlg->PageFrame()->GetRect(), DlgRect(dlg.get(), 9, 22, 254, 154));
    EXPECT_TRUE(dlg->Tabs()->GetRect().Contains(dlg->PageFrame()->GetRect()));
    EXPECT_EQ(dlg->GuidePage()->GetParent(), dlg->PageFrame());
    EXPECT_EQ(dlg->AddressPage()->GetParent(), dlg->PageFrame());
    EXPECT_EQ(dlg->GuidePage()->GetPosition(), wxPoint(0, 0));

    // The priority selector and its label are there but hidden.
    ASSERT_EQ(dlg->Priority()->GetId(), IDC_PRIORITY_COMBO);
    EXPECT_FALSE(dlg->Priority()->IsShown());
    ASSERT_EQ(dlg->Priority()->GetCount(), 1u);
    EXPECT_EQ(Utf8(dlg->Priority()->GetString(0)), "");
    bool labelFound = false;
    for (wxWindow* child : dlg->GetChildren())
        if (auto* label = wxDynamicCast(child, wxStaticText); label && Utf8(label->GetLabel()) == "優先するデータ :") {
            labelFound = true;
            EXPECT_FALSE(label->IsShown());
        }
    EXPECT_TRUE(labelFound);
    dlg->Hide();
}

TEST_F(MainDialog, GuidePageFirstThenTabsSwitchPagesAndSelectThePriority)
{
    struct Case {
        const char* what;
        bool set;
        DWORD currentData;
        int expectedSelection;
    };
    const Case cases[] = {
        {"CurrentData absent", false, 0, 0},
        {"CurrentData 0", true, 0, 0},
        {"CurrentData 3", true, 3, wxNOT_FOUND},
        {"CurrentData 1", true, 1, wxNOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchRegistry fresh;
        if (c.set)
            SetCurrentData(c.currentData);
        auto dlg = MakeDialog();
        dlg->Show();
        PumpEvents();

        EXPECT_EQ(dlg->Tabs()->GetSelection(), 0);
        EXPECT_TRUE(dlg->GuidePage()->IsShown());
        EXPECT_FALSE(dlg->AddressPage()->IsShown());
        EXPECT_EQ(dlg->Priority()->GetSelection(), wxNOT_FOUND) << "no selection before the first tab change";

        dlg->Tabs()->SetSelection(1);
        PumpEvents();
        EXPECT_FALSE(dlg->GuidePage()->IsShown());
        EXPECT_TRUE(dlg->AddressPage()->IsShown());
        EXPECT_EQ(dlg->Priority()->GetSelection(), c.expectedSelection);

        dlg->Tabs()->SetSelection(0);
        PumpEvents();
        EXPECT_TRUE(dlg->GuidePage()->IsShown());
        EXPECT_FALSE(dlg->AddressPage()->IsShown());
        EXPECT_EQ(dlg->Priority()->GetSelection(), c.expectedSelection);

        // The dialog never writes CurrentData.
        EXPECT_EQ(ReadFileBytes(fresh.file("HKEY_LOCAL_MACHINE")).find("CurrentData") != std::string::npos, c.set);
        dlg->Hide();
    }
}

TEST_F(MainDialog, EscapeAndEnterDoNotEndIt)
{
    auto dlg = MakeDialog();
    ModalRecorder modals;
    const int result = RunModal(modals, *dlg, [&] {
        for (wxWindow* focus : {static_cast<wxWindow*>(dlg->Tabs()), dlg->GuidePage(), static_cast<wxWindow*>(dlg.get())}) {
            PressKey(focus, WXK_ESCAPE);
            PressKey(focus, WXK_RETURN);
            PressKey(focus, WXK_NUMPAD_ENTER);
            PumpEvents();
            EXPECT_TRUE(dlg->IsModal());
        }
    });
    EXPECT_EQ(result, kStillOpen);
    EXPECT_TRUE(dlg->finished.empty());
    EXPECT_TRUE(modals.messages().empty());
}

TEST_F(MainDialog, EveryWayOfClosingFinishesGuideThenAddress)
{
    struct Case {
        const char* what;
        std::function<void(TestDlg&)> close;
    };
    const Case cases[] = {
        {"close button", [](TestDlg& d) { Click(d.FindWindow(IDC_CLOSE_BUTTON)); }},
        // The window manager's close box and Alt+F4 arrive as a close request.
        {"close box", [](TestDlg& d) { d.Close(); }},
        {"system close", [](TestDlg& d) { d.OnSysCommand(SC_CLOSE); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto dlg = MakeDialog();
        ModalRecorder modals;
        const int result = RunModal(modals, *dlg, [&] { c.close(*dlg); });
        EXPECT_EQ(result, wxID_OK);
        EXPECT_EQ(dlg->finished, (std::vector<std::string>{"SaveAndCompact", "SaveDataPaths"}));
    }
}

TEST_F(MainDialog, SystemMenuHasHelpThenAbout)
{
    auto dlg = MakeDialog();
    std::unique_ptr<wxMenu> menu(dlg->CreateSystemMenu());
    std::vector<std::string> items;
    for (wxMenuItem* item : menu->GetMenuItems())
        items.push_back(item->IsSeparator() ? "---" : std::to_string(item->GetId()) + " " + Utf8(item->GetItemLabel()));
    EXPECT_EQ(items, (std::vector<std::string>{"17 ヘルプ(&H)...", "---", "16 バージョン情報(&A)..."}));
}

TEST_F(MainDialog, HelpAndAboutReachTheHost)
{
    ASSERT_TRUE(RegisterSampleHost());
    auto dlg = MakeDialog();
    dlg->Show();
    ModalRecorder modals;
    struct Case {
        const char* what;
        std::function<void()> act;
        const char* logged;
    };
    const Case cases[] = {
        {"help button", [&] { Click(dlg->FindWindow(IDC_HELP_BUTTON)); }, "LaunchProgram Pellvane"},
        {"help item", [&] { Command(dlg.get(), IDM_HELP); }, "LaunchProgram Pellvane"},
        {"F1", [&] { Command(dlg.get(), ID_HELP); }, "LaunchProgram Pellvane"},
        {"about item", [&] { Command(dlg.get(), IDM_ABOUTBOX); }, "ShowAboutBox"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(data / "host.log", "");
        c.act();
        EXPECT_EQ(HostLog(), std::vector<std::string>{c.logged});
    }
    EXPECT_TRUE(modals.shown().empty());
    EXPECT_TRUE(dlg->IsShown());
    EXPECT_TRUE(dlg->finished.empty());
    dlg->Hide();
}

// Failing hosts are covered without a display (host_commands_test).
TEST_F(MainDialog, HelpAndAboutWithoutTheHostSayWhatFailed)
{
    struct Case {
        UINT command;
        const char* message;
    };
    const Case cases[] = {
        {IDM_HELP, "QuickLaunchObjectの作成に失敗した"},
        {IDM_ABOUTBOX, "AboutDialogObjectの作成に失敗した"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        auto dlg = MakeDialog();
        dlg->Show();
        ModalRecorder modals;
        modals.AnswerMessage(wxID_OK);
        dlg->OnSysCommand(c.command);
        ASSERT_EQ(modals.shown().size(), 1u);
        EXPECT_EQ(modals.shown()[0].kind, "message");
        EXPECT_EQ(modals.shown()[0].text, c.message);
        EXPECT_EQ(modals.shown()[0].caption, Utf8(wxTheApp->GetAppName()));
        EXPECT_EQ(modals.shown()[0].style, MessageBoxStyle(MB_OK));
        EXPECT_EQ(modals.shown()[0].style & (wxOK | wxYES_NO | wxCANCEL), wxOK);
        EXPECT_TRUE(dlg->IsShown()) << "the dialog stays open";
        dlg->Hide();
    }
}

// The application object with the real main dialog, as the program runs it.
class InstallerRun : public CInstallerAppCore {
public:
    InstallerRun() { m_strCommandLine = "/usr/bin/Pellvane"; }

protected:
    void RunMainDialog() override { RunInstallerDialog(); }
};

TEST_F(MainDialog, UserWhoCannotChangeSettingsIsWarnedOnceThenGetsTheDialog)
{
    // The registry folder lies under a regular file: nothing can be written.
    WriteFileBytes(data / "file", "x");
    ScopedEnv blocked("TESSRA_REGISTRY_DIR", data / "file/registry");

    AnswerAll answers;
    bool closed = false;
    answers.onMainDialog = [&](wxDialog* d) {
        d->CallAfter([&closed, d] {
            PumpEvents();
            Click(d->FindWindow(IDC_CLOSE_BUTTON));
            closed = !d->IsModal();
            EndIfStillOpen(d);
        });
        return static_cast<int>(wxID_NONE);
    };
    InstallerRun app;
    EXPECT_EQ(app.InitInstance(), FALSE);
    EXPECT_TRUE(closed) << "the close button ends the dialog";

    ASSERT_GE(answers.shown.size(), 2u);
    EXPECT_EQ(answers.shown.front().text, kAdminMessage);
    EXPECT_EQ(answers.shown.front().caption, Utf8(wxTheApp->GetAppName()));
    EXPECT_EQ(answers.shown.front().style, MessageBoxStyle(MB_OK));
    EXPECT_EQ(answers.shown.back().text, "<CInstallerDlg>");
    EXPECT_EQ(answers.shown.back().caption, "データインストーラ");
    int adminMessages = 0;
    for (const auto& s : answers.shown)
        adminMessages += s.text == kAdminMessage;
    EXPECT_EQ(adminMessages, 1);
}

TEST_F(MainDialog, UserWhoMayChangeSettingsGetsTheDialogAlone)
{
    AnswerAll answers;
    answers.onMainDialog = [](wxDialog* d) {
        d->CallAfter([d] {
            Click(d->FindWindow(IDC_CLOSE_BUTTON));
            EndIfStillOpen(d);
        });
        return static_cast<int>(wxID_NONE);
    };
    InstallerRun app;
    app.InitInstance();
    ASSERT_FALSE(answers.shown.empty());
    EXPECT_EQ(answers.shown.back().text, "<CInstallerDlg>");
    for (const auto& s : answers.shown)
        EXPECT_NE(s.text, kAdminMessage);
}

} // namespace
