// The guide page inside a stand-in main window, with the page's members in
// reach and user actions (selecting rows, pressing buttons) simulated the
// way the controls deliver them.
#pragma once

#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/frame.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "gui_support/gui_test_support.h"
#include "guide/genre_list_ctrl.h"
#include "guide/guide_page.h"
#include "guide_fixture.h"
#include "services/free_space.h"
#include "services/progress_dlg.h"
#include "settings/directory_settings.h"
#include "support/test_support.h"

class TestGuidePage : public CGuidePage {
public:
    using CGuidePage::IDC_BROWSE_DEST;
    using CGuidePage::IDC_BROWSE_SOURCE;
    using CGuidePage::IDC_INSTALL;
    using CGuidePage::IDC_REMOVE;
    using CGuidePage::m_bGuideChanged;
    using CGuidePage::m_btnInstall;
    using CGuidePage::m_btnRemove;
    using CGuidePage::m_installedGenres;
    using CGuidePage::m_listInstalled;
    using CGuidePage::m_listNotInstalled;
    using CGuidePage::m_nSelectedSize;
    using CGuidePage::m_progressDlg;
    using CGuidePage::m_sizeCache;
    using CGuidePage::m_strDestPath;
    using CGuidePage::m_strSourcePath;

    std::vector<std::string> Items(CGenreListCtrl* list) const
    {
        std::vector<std::string> names;
        for (int i = 0; i < list->GetItemCount(); ++i)
            names.push_back(ToUtf8(list->GetItemText(i)));
        return names;
    }
    std::vector<std::string> NotInstalled() const { return Items(m_listNotInstalled); }
    std::vector<std::string> Installed() const { return Items(m_listInstalled); }

    // The user selects exactly these rows; the list reports the change.
    void Select(CGenreListCtrl* list, std::initializer_list<int> rows)
    {
        list->UnselectAll();
        for (int row : rows)
            list->SelectRow(static_cast<unsigned>(row));
        wxDataViewEvent event(wxEVT_DATAVIEW_SELECTION_CHANGED, list, wxDataViewItem());
        list->ProcessWindowEvent(event);
    }
    void SelectNotInstalled(std::initializer_list<int> rows) { Select(m_listNotInstalled, rows); }
    void SelectInstalled(std::initializer_list<int> rows) { Select(m_listInstalled, rows); }

    // A click on a button as the user makes it: only an enabled button
    // does anything.
    void Click(int id)
    {
        auto* button = dynamic_cast<wxButton*>(FindWindow(id));
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->IsEnabled()) << "button " << id << " is disabled";
        wxCommandEvent event(wxEVT_BUTTON, id);
        event.SetEventObject(button);
        button->ProcessWindowEvent(event);
    }
    // The handlers run also when their button is disabled (the ">>" with
    // nothing selected case).
    void Install() { OnInstall(); }
    void Remove() { OnRemove(); }

    std::string LabelText(int id) const
    {
        wxWindow* w = FindWindow(id);
        if (auto* text = dynamic_cast<wxStaticText*>(w))
            return text->GetLabel().utf8_string();
        if (auto* edit = dynamic_cast<wxTextCtrl*>(w))
            return edit->GetValue().utf8_string();
        return "<none>";
    }
};

// Free space of the made-up volume the tests install to.
inline std::uint64_t& FakeFreeBytes()
{
    static std::uint64_t bytes = 1ull << 40;
    return bytes;
}

inline BOOL FakeDiskFreeSpaceEx(LPCSTR, std::uint64_t* available, std::uint64_t* total, std::uint64_t* free)
{
    if (available)
        *available = FakeFreeBytes();
    if (total)
        *total = FakeFreeBytes() * 2;
    if (free)
        *free = FakeFreeBytes();
    return TRUE;
}

// Texts of the messages, as the user reads them.
namespace msg {
inline std::string CannotUse(const std::string& path)
{
    return "\"" + path +
           "\"が使用できませんでした。\n\nTessra、Ravelin等を起動していましたら終了させ、\nファイルが書込み禁止になっていないか等確認してください。";
}
inline const char* const kLowSpace =
    "指定したフォルダのディスク容量が足りないのでインストールできないと思われます。\nインストール先を変更するか、インストール"
    "するデータを減らしてください。\n\nもしディスクに空きがあるのにこのメッセージが出た場合、当社では保証しかねますが、\nお"
    "客様の責任においてこのままインストールを続けることもできます。\n\nインストールを続けますか?";
inline std::string AlreadyInstalled(const std::string& name)
{
    return "「" + name + "」はすでにインストールされています。";
}
inline std::string NotFound(const std::string& path)
{
    return "'" + path + "'のファイルが見つかりませんでした。\n指定のパスにファイルがあるか確認してください。";
}
inline const char* const kSameFolders = "インストール元フォルダとインストール先フォルダを同じにすることはできません。";
inline const char* const kAskOptimise =
    "施設データが変更されています。\n施設データの最適化を行ないますか？\n\nデータの最適化は\nインストール済みのデータの大き"
    "さにより\nかなり時間が掛かる場合があります。\n\nまた、最適化を行なうと、\n１．検索パフォーマンスの向上\n２．ファイルサ"
    "イズの縮小\nの効果が得られる可能性があります。\n";
inline const char* const kOptimised = "施設データの最適化が終了しました。";
} // namespace msg

// A progress sink in front of the real dialog that presses the dialog's
// cancel button while the chosen genre's chosen row is being copied.
class CancellingSink : public CProgressSink {
public:
    CancellingSink(CProgressDlg* dlg, int genre, int row) : m_dlg(dlg), m_cancelGenre(genre), m_cancelRow(row) {}

    void SetRange(int lower, int upper) override { m_dlg->SetRange(lower, upper); }
    void SetStep(int step) override { m_dlg->SetStep(step); }
    void SetPos(int pos) override
    {
        ++m_genre; // each genre's set-up starts at 0
        m_row = 0;
        m_dlg->SetPos(pos);
        m_bCancel = m_dlg->m_bCancel;
    }
    int PumpAndStep() override
    {
        if (m_genre == m_cancelGenre && ++m_row == m_cancelRow) {
            auto* click = new wxCommandEvent(wxEVT_BUTTON, CProgressDlg::IDC_CANCEL_BUTTON);
            click->SetEventObject(m_dlg->m_btnCancel);
            wxQueueEvent(m_dlg->m_btnCancel, click);
        }
        const int previous = m_dlg->PumpAndStep();
        m_bCancel = m_dlg->m_bCancel;
        ++m_steps;
        return previous;
    }

    int m_steps = 0;

private:
    CProgressDlg* m_dlg;
    int m_cancelGenre;
    int m_cancelRow;
    int m_genre = 0;
    int m_row = 0;
};

class GuidePageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previousCalls = SetDiskFreeCalls({&FakeDiskFreeSpaceEx, nullptr});
        FakeFreeBytes() = 1ull << 40;
        main = new wxFrame(nullptr, wxID_ANY, "Pellvane");
        main->SetClientSize(600, 400);
        main->Show();
    }
    void TearDown() override
    {
        main->Destroy();
        PumpEvents();
        SetDiskFreeCalls(m_previousCalls);
    }

    // Records the two paths and creates the page as the main dialog does.
    TestGuidePage* Open(const std::string& sourcePath, const std::string& destPath)
    {
        SetGuideCdPath(sourcePath.c_str());
        SetGuideHdPath(destPath.c_str());
        page = new TestGuidePage;
        EXPECT_TRUE(page->Create(main));
        page->Show();
        page->SetMainDialog(main);
        PumpEvents();
        return page;
    }

    void ExpectMainDialogBack()
    {
        EXPECT_TRUE(main->IsEnabled());
        EXPECT_TRUE(page->IsEnabled());
        EXPECT_FALSE(page->m_progressDlg->IsShown());
    }

    TempDir cd;
    TempDir hd;
    ScratchRegistry registry;
    std::string source = cd / "Guide.dbs";
    std::string dest = hd / "Guide.dbs";
    wxFrame* main = nullptr;
    TestGuidePage* page = nullptr;

private:
    DiskFreeCalls m_previousCalls{};
};
