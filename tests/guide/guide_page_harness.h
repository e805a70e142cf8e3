// The guide page inside a stand-in main window; user actions (selecting
// rows, pressing buttons) delivered the way the controls deliver them.
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

inline std::vector<std::string> Items(CGenreListCtrl* list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list->GetItemCount(); ++i)
        names.push_back(ToUtf8(list->GetItemText(i)));
    return names;
}

inline void Select(CGenreListCtrl* list, std::initializer_list<int> rows)
{
    list->UnselectAll();
    for (int row : rows)
        list->SelectRow(static_cast<unsigned>(row));
    wxDataViewEvent event(wxEVT_DATAVIEW_SELECTION_CHANGED, list, wxDataViewItem());
    list->ProcessWindowEvent(event);
}

// Only an enabled button does anything.
inline void Click(wxWindow* parent, int id)
{
    auto* button = dynamic_cast<wxButton*>(parent->FindWindow(id));
    ASSERT_TRUE(button && button->IsEnabled()) << "button " << id;
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(button);
    button->ProcessWindowEvent(event);
}

// Style bits of a message box: buttons and icon.
inline long Buttons(const ModalRecorder& modals, size_t i)
{
    return modals.shown().at(i).style & (wxYES_NO | wxOK | wxICON_INFORMATION);
}

class TestGuidePage : public CGuidePage {
public:
    using CGuidePage::m_bGuideChanged;
    using CGuidePage::m_btnInstall;
    using CGuidePage::m_installedGenres;
    using CGuidePage::m_listInstalled;
    using CGuidePage::m_listNotInstalled;
    using CGuidePage::m_nSelectedSize;
    using CGuidePage::m_progressDlg;
    using CGuidePage::m_sizeCache;
    using CGuidePage::m_strDestPath;
    using CGuidePage::m_strSourcePath;
    using CGuidePage::OnInstall;

    std::vector<std::string> NotInstalled() const { return Items(m_listNotInstalled); }
    std::vector<std::string> Installed() const { return Items(m_listInstalled); }
    void Install(std::initializer_list<int> rows)
    {
        Select(m_listNotInstalled, rows);
        Click(this, IDC_INSTALL);
    }
    void Remove(std::initializer_list<int> rows)
    {
        Select(m_listInstalled, rows);
        Click(this, IDC_REMOVE);
    }
    std::string Label(int id) const
    {
        wxWindow* w = FindWindow(id);
        if (auto* text = dynamic_cast<wxStaticText*>(w))
            return text->GetLabel().utf8_string();
        auto* edit = dynamic_cast<wxTextCtrl*>(w);
        return edit ? edit->GetValue().utf8_string() : "<none>";
    }
};

inline std::uint64_t& FakeFreeBytes()
{
    static std::uint64_t bytes = 1ull << 40;
    return bytes;
}

inline BOOL FakeDiskFreeSpaceEx(LPCSTR, std::uint64_t* available, std::uint64_t* total, std::uint64_t* free)
{
    for (std::uint64_t* p : {available, total, free})
        if (p)
            *p = FakeFreeBytes();
    return TRUE;
}

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
inline const char* const kAskOptimise =
    "施設データが変更されています。\n施設データの最適化を行ないますか？\n\nデータの最適化は\nインストール済みのデータの大き"
    "さにより\nかなり時間が掛かる場合があります。\n\nまた、最適化を行なうと、\n１．検索パフォーマンスの向上\n２．ファイルサ"
    "イズの縮小\nの効果が得られる可能性があります。\n";
inline const char* const kOptimised = "施設データの最適化が終了しました。";
} // namespace msg

// In front of the real progress dialog: presses its cancel button while the
// chosen genre's chosen row is being copied.
class CancellingSink : public CProgressSink {
public:
    CancellingSink(CProgressDlg* dlg, int genre, int row) : m_dlg(dlg), m_cancelGenre(genre), m_cancelRow(row) {}

    void SetRange(int lower, int upper) override { m_dlg->SetRange(lower, upper); }
    void SetStep(int step) override { m_dlg->SetStep(step); }
    void SetPos(int pos) override
    {
        ++m_genre; // each genre starts at 0
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
        return previous;
    }

private:
    CProgressDlg* m_dlg;
    int m_cancelGenre, m_cancelRow;
    int m_genre = 0, m_row = 0;
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
        if (main)
            main->Destroy();
        PumpEvents();
        SetDiskFreeCalls(m_previousCalls);
    }

    // Records the two paths and creates the page as the main dialog does.
    TestGuidePage* Open(wxWindow* parent = nullptr)
    {
        SetGuideCdPath(source.c_str());
        SetGuideHdPath(dest.c_str());
        page = new TestGuidePage;
        EXPECT_TRUE(page->Create(parent ? parent : main));
        page->Show();
        page->SetMainDialog(parent ? parent : main);
        PumpEvents();
        return page;
    }

    void ExpectMainDialogBack()
    {
        EXPECT_TRUE(main->IsEnabled());
        EXPECT_TRUE(page->IsEnabled());
        EXPECT_FALSE(page->m_progressDlg->IsShown());
    }

    TempDir cd, hd;
    ScratchRegistry registry;
    std::string source = cd / "Guide.dbs";
    std::string dest = hd / "Guide.dbs";
    wxFrame* main = nullptr;
    TestGuidePage* page = nullptr;

private:
    DiskFreeCalls m_previousCalls{};
};
