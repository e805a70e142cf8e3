#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/frame.h>
#include <wx/textctrl.h>
#include <wx/time.h>
#include <wx/uiaction.h>

#include "gui_support/gui_test_support.h"
#include "guide/genre_list_ctrl.h"
#include "guide/guide_page.h"
#include "guide_fixture.h"
#include "platform/registry.h"
#include "services/free_space.h"
#include "services/progress_dlg.h"
#include "settings/directory_settings.h"
#include "shell/installer_dlg.h"

namespace {

using Names = std::vector<std::string>;
enum {
    kSource = CGuidePage::IDC_SOURCE_PATH, kDest = CGuidePage::IDC_DEST_PATH, kNotInstalled = CGuidePage::IDC_NOT_INSTALLED_LIST,
    kBrowseSource = CGuidePage::IDC_BROWSE_SOURCE, kBrowseDest = CGuidePage::IDC_BROWSE_DEST,
    kInstalled = CGuidePage::IDC_INSTALLED_LIST, kInstall = CGuidePage::IDC_INSTALL, kRemove = CGuidePage::IDC_REMOVE,
    kSize = CGuidePage::IDC_NOT_INSTALLED_SIZE
};

// Names with a quote, a percent sign, a backslash, and "表" (0x95 0x5C in code page 932).
const Names kAll = {"100% 表示 cafe", "Bob's bank", "Zoos", "C:\\hotels"};
const std::vector<FixtureGenre> kCd = {{"2", "1", kAll[2], 3, "03010000"}, {"1", "2", kAll[1], 2, "01020000"},
                                       {"1", "1", kAll[0], 4, "01010000"}, {"3", "1", kAll[3], 5, "04010000", 2}};

std::string CannotUse(const std::string& path)
{
    return "\"" + path + "\"が使用できませんでした。\n\nTessra、Ravelin等を起動していましたら終了させ、\nファイルが書込み禁止になっていないか等確認してください。";
}
const char* const kLowSpace =
    "指定したフォルダのディスク容量が足りないのでインストールできないと思われます。\nインストール先を変更するか、インストール"
    "するデータを減らしてください。\n\nもしディスクに空きがあるのにこのメッセージが出た場合、当社では保証しかねますが、\nお"
    "客様の責任においてこのままインストールを続けることもできます。\n\nインストールを続けますか?";
const char* const kOptimised = "施設データの最適化が終了しました。";

std::uint64_t g_freeBytes;
BOOL FakeFreeSpace(LPCSTR, std::uint64_t* available, std::uint64_t* total, std::uint64_t* free)
{
    *available = *total = *free = g_freeBytes;
    return TRUE;
}

CGenreListCtrl* List(wxWindow* page, int id) { return GenreList(page, id); }
Names Items(wxWindow* page, int id) { return GenreListItems(page, id); }
void Select(wxWindow* page, int id, const std::vector<int>& rows) { SelectGenres(page, id, rows); }
void Click(wxWindow* parent, int id) { ClickControl(parent, id); }

// Clicks the progress dialog's cancel button while row `row` of the `genre`th genre is copied.
class CancellingSink : public CProgressSink {
public:
    CancellingSink(CProgressDlg* dlg, int genre, int row) : m_dlg(dlg), m_genre(genre), m_row(row) {}
    void SetRange(int lower, int upper) override { m_dlg->SetRange(lower, upper); }
    void SetStep(int step) override { m_dlg->SetStep(step); }
    void SetPos(int pos) override
    {
        --m_genre; // each genre starts at 0
        m_dlg->SetPos(pos);
        m_bCancel = m_dlg->m_bCancel;
    }
    int PumpAndStep() override
    {
        if (m_genre == 0 && --m_row == 0) {
            wxUIActionSimulator sim;
            sim.MouseMove(m_dlg->m_btnCancel->GetScreenRect().GetPosition() + wxPoint(8, 6));
            m_dlg->PumpAndStep();
            sim.MouseClick();
            for (const auto until = wxGetLocalTimeMillis() + 5000; !m_dlg->m_bCancel && wxGetLocalTimeMillis() < until;)
                m_dlg->PumpAndStep();
        }
        const int previous = m_dlg->PumpAndStep();
        m_bCancel = m_dlg->m_bCancel;
        return previous;
    }
    CProgressDlg* m_dlg;
    int m_genre, m_row;
};

class GuidePageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_freeBytes = 1ull << 40;
        main->SetClientSize(600, 400);
        main->Show();
    }
    void TearDown() override
    {
        main->Destroy();
        PumpEvents();
        SetDiskFreeCalls(m_previousCalls);
    }
    void Open()
    {
        SetGuideCdPath(source.c_str());
        SetGuideHdPath(dest.c_str());
        page = new CGuidePage;
        ASSERT_TRUE(page->Create(main));
        page->SetMainDialog(main);
        page->Show();
        PumpEvents();
    }
    void Act(int list, int button, const std::vector<int>& rows)
    {
        Select(page, list, rows);
        Click(page, button);
    }
    std::string Label(int id)
    {
        auto* edit = dynamic_cast<wxTextCtrl*>(page->FindWindow(id));
        return (edit ? edit->GetValue() : page->FindWindow(id)->GetLabel()).utf8_string();
    }
    CProgressDlg* Progress() { return dynamic_cast<CProgressDlg*>(wxWindow::FindWindowById(CProgressDlg::IDD)); }
    void ExpectMainDialogBack() { EXPECT_TRUE(main->IsEnabled() && page->IsEnabled() && !Progress()->IsShown()); }

    TempDir cd, hd;
    ScratchRegistry registry;
    std::string source = cd / "Guide.dbs", dest = hd / "Guide.dbs";
    wxFrame* main = new wxFrame(nullptr, wxID_ANY, "Pellvane");
    CGuidePage* page = nullptr;
    ModalRecorder modals;

private:
    DiskFreeCalls m_previousCalls = SetDiskFreeCalls({&FakeFreeSpace, nullptr});
};

TEST_F(GuidePageTest, WithoutAHardDiskDatabaseEveryGenreIsOfferedAndNothingMade)
{
    MakeGuideDb(source, kCd);
    modals.AnswerMessage(wxID_OK);
    Open();
    EXPECT_EQ(modals.messages(), Names{CannotUse(dest)});
    EXPECT_EQ(modals.shown().at(0).style & (wxYES_NO | wxOK | wxICON_INFORMATION), wxOK);
    EXPECT_EQ(Items(page, kNotInstalled), kAll);
    EXPECT_EQ((Names{Label(kSource), Label(kDest), Label(kSize)}), (Names{source, dest, "およそ 0MB"}));
    EXPECT_FALSE(page->FindWindow(kInstall)->IsEnabled());
    EXPECT_EQ(ListDir(hd.path()), Names{});
}

// The lists draw no header; their one column still has its name for screen
// readers once the page is on screen.
TEST_F(GuidePageTest, EachListNamesItsColumnOnceOnScreen)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {});
    Open();
    for (int id : {kNotInstalled, kInstalled}) {
        CGenreListCtrl* list = List(page, id);
        ASSERT_EQ(list->GetColumnCount(), 1u);
        EXPECT_EQ(list->GetColumn(0)->GetTitle().utf8_string(), "ジャンル名") << id;
    }
}

// A real click selects; the size label sums the selection (400 bytes a point, 200 a genre row).
TEST_F(GuidePageTest, SizeLabelFollowsTheSelection)
{
    MakeGuideDb(source, {{"1", "1", "A", 2700, "01010000"}, {"1", "2", "B", 2700, "01020000"}});
    MakeGuideDb(dest, {});
    Open();
    main->Raise();
    PumpEvents();
    wxUIActionSimulator sim;
    sim.MouseMove(List(page, kNotInstalled)->ClientToScreen(wxPoint(40, 8)));
    PumpEvents();
    sim.MouseClick();
    for (int i = 0; i < 20 && !page->FindWindow(kInstall)->IsEnabled(); ++i)
        PumpEvents();
    EXPECT_EQ(Label(kSize), "およそ 1MB");
    Select(page, kNotInstalled, {0, 1});
    EXPECT_EQ(Label(kSize), "およそ 2MB");
}

TEST_F(GuidePageTest, TooLittleRoomAsksFirst)
{
    MakeGuideDb(source, {{"1", "1", "Small", 100, "01010000"}, {"1", "2", "Big", 1000, "01020000"}});
    MakeGuideDb(dest, {{"1", "3", "Tiny", 1, "01030000"}});
    Open();
    g_freeBytes = 40200; // exactly Small's size is not enough
    modals.AnswerMessage(wxID_NO);
    Act(kNotInstalled, kInstall, {0});
    EXPECT_EQ(modals.messages(), Names{kLowSpace});
    EXPECT_EQ(modals.shown().at(0).style & (wxYES_NO | wxOK | wxICON_INFORMATION), wxYES_NO);
    EXPECT_EQ(GenreNames(dest), Names{"Tiny"});
    ExpectMainDialogBack();

    // The room asked for is that of the genres to install, not of the last selection (Tiny).
    Select(page, kNotInstalled, {0, 1});
    Select(page, kInstalled, {0});
    g_freeBytes = 440400;
    modals.AnswerMessage(wxID_YES);
    Click(page, kInstall);
    EXPECT_EQ(modals.messages(), (Names{kLowSpace, kLowSpace}));
    EXPECT_EQ(GenreNames(dest), (Names{"Small", "Big", "Tiny"}));
}

// Cancelling keeps the genres finished before; cancelling the only genre of a first install leaves no file.
TEST_F(GuidePageTest, CancelKeepsTheGenresFinishedBefore)
{
    MakeGuideDb(source, kCd);
    const struct {
        std::vector<int> rows;
        int genre, row;
        Names installed, notInstalled;
        long points;
    } cases[] = {{{0, 1, 3}, 2, 2, {kAll[0], kAll[3]}, {kAll[1], kAll[2]}, 4 + 5}, {{2}, 1, 1, {}, kAll, 0}};
    for (const auto& c : cases) {
        std::remove(dest.c_str());
        modals.AnswerMessage(wxID_OK); // no hard-disk database yet
        if (c.installed.empty())
            modals.AnswerMessage(wxID_OK); // nor after the refill
        Open();
        CancellingSink sink(Progress(), c.genre, c.row);
        page->SetProgressSink(&sink);
        Act(kNotInstalled, kInstall, c.rows);
        ExpectMainDialogBack();
        EXPECT_EQ(ListDir(hd.path()), c.installed.empty() ? Names{} : Names{"Guide.dbs"});
        EXPECT_EQ(c.installed.empty() ? 0 : RowCount(dest, "Point"), c.points);
        EXPECT_EQ(Items(page, kInstalled), c.installed);
        EXPECT_EQ(Items(page, kNotInstalled), c.notInstalled);
        if (!c.installed.empty())
            modals.AnswerMessage(wxID_NO); // closing offers the optimisation only when data changed
        page->SaveAndCompact();
        EXPECT_EQ(modals.messages().back(), c.installed.empty() ? CannotUse(dest) : kAskOptimise);
        page->Destroy();
        modals.clear();
    }
}

TEST_F(GuidePageTest, ANameAlreadyInTheDatabaseStopsTheInstall)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {{"7", "1", "Money", 1, "07010000"}});
    SqliteFile(dest).Query("INSERT INTO Category (L1,L2,L3,L4,Name) VALUES ('7','1','1','0',?)", {kAll[1].c_str()});
    Open();
    modals.AnswerMessage(wxID_OK);
    Act(kNotInstalled, kInstall, {0, 1, 2});
    EXPECT_EQ(modals.messages(), Names{"「Bob's bank」はすでにインストールされています。"});
    EXPECT_EQ(GenreNames(dest), (Names{kAll[0], "Money"}));
    ExpectMainDialogBack();
}

// The group row goes with the last genre of its group, the file with the last genre of all.
TEST_F(GuidePageTest, RemovalsTakeGroupRowsAndFinallyTheFile)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {kCd[2], kCd[1], {"2", "1", kAll[2], 3, "03010000", 1}});
    Open();
    Act(kInstalled, kRemove, {0, 2}); // the cafe, and the zoo with its group
    EXPECT_EQ(modals.messages(), Names{});
    EXPECT_EQ(Query(dest, "SELECT L1, L2, L3 FROM Category WHERE L1<>'0' ORDER BY L1, L2"), (Rows{{"1", "0", "<null>"}, {"1", "2", "0"}}));
    EXPECT_EQ(RowCount(dest, "Point"), 2);
    EXPECT_EQ(Items(page, kNotInstalled), (Names{kAll[0], kAll[2], kAll[3]}));
    modals.AnswerMessage(wxID_OK); // the refill finds no file
    Act(kInstalled, kRemove, {0});
    EXPECT_EQ(modals.messages(), Names{CannotUse(dest)});
    EXPECT_EQ(ListDir(hd.path()), Names{});
    EXPECT_EQ(Items(page, kNotInstalled), kAll);
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, RemovingFromAVanishedDatabaseReportsIt)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {kCd[2]});
    Open();
    Select(page, kInstalled, {0});
    std::remove(dest.c_str());
    modals.AnswerMessage(wxID_OK);
    modals.AnswerMessage(wxID_OK);
    Click(page, kRemove);
    EXPECT_EQ(modals.messages(), (Names{"'" + dest + "'のファイルが見つかりませんでした。\n指定のパスにファイルがあるか確認してください。",
                                        CannotUse(dest)}));
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, BrowsingKeepsTheSidesApart)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {kCd[2]});
    TempDir other;
    Open();
    for (const auto& [button, folder] : {std::pair{kBrowseSource, hd.path()}, {kBrowseDest, std::string()}, {kBrowseDest, other.path()}}) {
        modals.AnswerDir(folder);
        if (!folder.empty())
            modals.AnswerMessage(wxID_OK); // the same folder refused; no database in the new one
        Click(page, button);
    }
    EXPECT_EQ((Names{Label(kSource), Label(kDest)}), (Names{source, other / "Guide.dbs"}));
    EXPECT_EQ(Items(page, kNotInstalled), kAll);
    EXPECT_EQ(modals.messages(), (Names{"インストール元フォルダとインストール先フォルダを同じにすることはできません。",
                                        CannotUse(other / "Guide.dbs")}));
}

TEST_F(GuidePageTest, OptimisationAtCloseDeclinedOrAccepted)
{
    std::vector<FixtureGenre> genres;
    for (int i = 0; i < 8; ++i)
        genres.push_back({std::to_string(i / 4 + 1), std::to_string(i % 4 + 1), "Genre " + std::to_string(i), 100, "01010000"});
    MakeGuideDb(source, genres);
    MakeGuideDb(dest, genres);
    Open();
    Act(kInstalled, kRemove, {0, 1, 2, 3, 4});
    const Names rows = AllRows(dest);
    const std::string before = ReadFileBytes(dest);
    modals.AnswerMessage(wxID_NO); // declined: nothing done
    page->SaveAndCompact();
    EXPECT_EQ(ReadFileBytes(dest), before);
    modals.AnswerMessage(wxID_YES);
    modals.AnswerMessage(wxID_OK);
    page->SaveAndCompact();
    EXPECT_EQ(modals.messages(), (Names{kAskOptimise, kAskOptimise, kOptimised}));
    EXPECT_EQ(modals.shown().at(0).style & (wxYES_NO | wxOK | wxICON_INFORMATION), wxYES_NO | wxICON_INFORMATION);
    EXPECT_EQ(AllRows(dest), rows);
    EXPECT_LT(ReadFileBytes(dest).size(), before.size());
    EXPECT_EQ(ListDir(hd.path()), Names{"Guide.dbs"});
}

// A CD whose data holds text that code page 932 cannot: the genre whose
// rows hold it installs whole, byte for byte as the sqlite3 shell reads both
// files; the genre whose very name has no CP932 form is listed as it is
// named and refused with a message naming it, and nothing of it arrives.
TEST_F(GuidePageTest, TextBeyondCodePage932InstallsAndANameWithoutACp932FormIsRefused)
{
    const std::string cafe = "Café 𠮷野家";
    MakeGuideDb(source, {{"1", "1", "Sushi", 3, "01010000", 2}, {"1", "2", cafe, 2, "01020000"}});
    SqliteFile cdFile(source);
    for (const std::string& value : BeyondCp932()) {
        const std::string text = TextLiteral(value);
        cdFile.Exec("INSERT INTO Category (L1,L2,L3,Name,NamePronounce) VALUES ('1','1','9'," + text + "," + text + ")");
        cdFile.Exec("INSERT INTO Point (L1,L2,L3,Name,Address,TS99GenreCode) VALUES ('1','1','2'," + text + "," + text + ",'01010000')");
    }
    cdFile.Exec("UPDATE Property SET CompanyName=" + TextLiteral("Veltrane ©") + ", Comments=" + TextLiteral("🍣 𩸽"));
    modals.AnswerMessage(wxID_OK); // no hard-disk database yet
    Open();
    EXPECT_EQ(Items(page, kNotInstalled), (Names{"Sushi", cafe}));
    Select(page, kNotInstalled, {1});
    EXPECT_EQ(Label(kSize), "およそ 0MB");
    modals.AnswerMessage(wxID_OK);
    Act(kNotInstalled, kInstall, {0, 1});
    EXPECT_EQ(modals.messages().back(), "「" + cafe + "」のジャンル名には、このプログラムで扱えない文字が含まれているため、"
                                        "インストールや削除ができません。");
    EXPECT_EQ(modals.messages().size(), 2u);
    ExpectMainDialogBack();
    EXPECT_EQ(Items(page, kInstalled), Names{"Sushi"});
    EXPECT_EQ(Items(page, kNotInstalled), Names{cafe});
    const std::string read = ".mode quote\nSELECT * FROM Property;\nSELECT * FROM Category WHERE L2='1' ORDER BY rowid;\n"
                             "SELECT * FROM Point WHERE L2='1' ORDER BY rowid;\n";
    EXPECT_EQ(SqliteShellOutput(dest, read), SqliteShellOutput(source, read));
    EXPECT_EQ(SqliteShellOutput(dest, "SELECT count(*) FROM Category WHERE L2='2';SELECT count(*) FROM Point WHERE L2='2';"), "0\n0\n");

    // Installed by another program, such a genre is listed and cannot be removed by itself either.
    SqliteFile(dest).Query("INSERT INTO Category (L1,L2,L3,Name) VALUES ('1','2','0',?)", {cafe.c_str()});
    modals.AnswerDir(hd.path()); // the same folder again: the lists are refilled
    Click(page, kBrowseDest);
    EXPECT_EQ(Items(page, kInstalled), (Names{"Sushi", cafe}));
    const std::string before = ReadFileBytes(dest);
    modals.AnswerMessage(wxID_OK);
    Act(kInstalled, kRemove, {1});
    EXPECT_EQ(modals.messages().size(), 3u);
    EXPECT_EQ(modals.messages().back(), modals.messages().at(1));
    EXPECT_EQ(ReadFileBytes(dest), before);
    ExpectMainDialogBack();
}

// A genre whose rows could not be counted (its CD file damaged or held for
// a moment) shows no size and keeps none: the next request counts again.
TEST_F(GuidePageTest, ASizeThatCouldNotBeCountedIsCountedAgain)
{
    MakeGuideDb(source, {{"1", "1", "A", 2700, "01010000"}});
    MakeGuideDb(dest, {});
    Open();
    SqliteFile(source).Exec("ALTER TABLE Point RENAME TO Away");
    Select(page, kNotInstalled, {0});
    EXPECT_EQ(Label(kSize), "およそ 0MB");
    SqliteFile(source).Exec("ALTER TABLE Away RENAME TO Point");
    Select(page, kNotInstalled, {});
    Select(page, kNotInstalled, {0});
    EXPECT_EQ(Label(kSize), "およそ 1MB");
    EXPECT_EQ(modals.messages(), Names{});
}

class ClosableDlg : public CInstallerDlg {
public:
    CGuidePage& GuidePage() { return m_pageGuide; }
};

// The sample CD-ROM in the installer's modal dialog: three genres, the second cancelled; a removal; close.
TEST_F(GuidePageTest, SampleCdInstallCancelRemoveAndOptimise)
{
    TempDir runtime;
    ASSERT_EQ(std::system(("'" PELLVANE_BINARY_DIR "/bin/make-sample-cd' '" + cd.path() +
                           "' --genres 12 --points-per-genre 40 --seed 5 >/dev/null").c_str()), 0) << "build make-sample-cd first";
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    SetGuideCdPath(source.c_str());
    SetGuideHdPath(dest.c_str());
    SetAddressCdPath((cd / "Adr_L.dbs").c_str());
    SetAddressHdPath((hd / "Address.dbs").c_str());
    const Names onCd = GenreNames(source);
    ASSERT_EQ(onCd.size(), 12u);
    modals.AnswerMessage(wxID_OK); // no guide database on the hard disk yet
    auto dlg = std::make_unique<ClosableDlg>();
    modals.AnswerCustom([&](wxDialog* d) {
        d->CallAfter([&, d] {
            PumpEvents();
            CGuidePage* shown = &dlg->GuidePage();
            EXPECT_EQ(Items(shown, kNotInstalled), onCd);
            CancellingSink sink(dynamic_cast<CProgressDlg*>(wxWindow::FindWindowById(CProgressDlg::IDD)), 2, 3);
            shown->SetProgressSink(&sink);
            Select(shown, kNotInstalled, {0, 1, 2});
            Click(shown, kInstall);
            shown->SetProgressSink(nullptr);
            EXPECT_EQ(Items(shown, kInstalled), (Names{onCd[0], onCd[2]}));
            Select(shown, kInstalled, {0});
            Click(shown, kRemove);
            modals.AnswerMessage(wxID_YES);
            modals.AnswerMessage(wxID_OK);
            Click(d, IDC_CLOSE_BUTTON);
            if (d->IsModal())
                d->EndModal(wxID_CANCEL);
        });
        return static_cast<int>(wxID_NONE); // the dialog runs its own modal loop
    });
    EXPECT_EQ(dlg->ShowModal(), wxID_OK);
    dlg.reset();

    EXPECT_EQ(modals.messages(), (Names{CannotUse(dest), kAskOptimise, kOptimised}));
    const Strings key = Query(source, "SELECT L1, L2 FROM Category WHERE L3='0' ORDER BY L1,L2").at(2);
    const std::string l1 = key.at(0), genre = " WHERE L1='" + l1 + "' AND L2='" + key.at(1) + "'";
    EXPECT_EQ(Query(dest, "SELECT * FROM Category WHERE L1<>'0' ORDER BY 1,2,3"),
              Query(source, "SELECT * FROM Category" + genre + " OR (L1='" + l1 + "' AND L2='0') ORDER BY 1,2,3"));
    EXPECT_EQ(RowCount(dest, "Point"), RowCount(source, "Point" + genre));
    EXPECT_EQ(IntegrityCheck(dest), "ok");
    EXPECT_EQ(ListDir(hd.path()), Names{"Guide.dbs"});
    EXPECT_EQ((Names{RegReadString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0"), RegReadString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_1"),
                     RegReadString(HKEY_LOCAL_MACHINE, kAddressKey, "DataPath_0"), RegReadString(HKEY_LOCAL_MACHINE, kAddressKey, "DataPath_1")}),
              (Names{source, dest, cd / "Adr_L.dbs", hd / "Address.dbs"}));
}

} // namespace
