#include "guide_page_harness.h"

#include <wx/dialog.h>
#include <wx/time.h>
#include <wx/uiaction.h>

namespace {

const std::vector<FixtureGenre> kCd = {
    {"2", "1", "Zoos", 3, "03010000"},
    {"1", "2", "Banks", 2, "01020000"},
    {"1", "1", "Cafes", 4, "01010000"},
    {"3", "1", "Hotels", 5, "04010000", 2},
};
const std::vector<std::string> kAll = {"Cafes", "Banks", "Zoos", "Hotels"};

} // namespace

TEST_F(GuidePageTest, WithoutAHardDiskDatabaseEveryGenreIsOfferedAndNothingMade)
{
    MakeGuideDb(source, kCd);
    ModalRecorder modals;
    modals.AnswerMessage(wxID_OK);
    Open();
    ASSERT_EQ(modals.messages(), std::vector<std::string>{msg::CannotUse(dest)});
    EXPECT_EQ(Buttons(modals, 0), wxOK);
    EXPECT_EQ(page->NotInstalled(), kAll);
    EXPECT_TRUE(page->Installed().empty());
    EXPECT_EQ(page->Label(1010), source);
    EXPECT_EQ(page->Label(1020), dest);
    EXPECT_EQ(page->Label(1100), "およそ 0MB");
    EXPECT_FALSE(page->m_btnInstall->IsEnabled());

    page->OnInstall(); // nothing selected
    EXPECT_EQ(modals.messages().size(), 1u);
    EXPECT_FALSE(page->m_bGuideChanged);
    EXPECT_EQ(ListDir(hd.path()), std::vector<std::string>{});
}

// A real click selects; the size label sums the selection (400 bytes a
// point, 200 a genre row) and shows at least 1MB.
TEST_F(GuidePageTest, SizeLabelFollowsTheSelection)
{
    MakeGuideDb(source, {{"1", "1", "Big", 1499, "01010000"}, {"1", "2", "Other", 1249, "01020000"},
                         {"1", "3", "Small", 100, "01030000"}});
    MakeGuideDb(dest, {});
    ModalRecorder modals;
    Open();
    main->Raise();
    PumpEvents();
    wxUIActionSimulator sim;
    sim.MouseMove(page->m_listNotInstalled->ClientToScreen(wxPoint(40, 8)));
    PumpEvents();
    sim.MouseClick();
    for (int i = 0; i < 20 && !page->m_btnInstall->IsEnabled(); ++i)
        PumpEvents();
    EXPECT_EQ(page->m_listNotInstalled->GetSelectedIndexes(), std::vector<int>{0});
    EXPECT_EQ(page->m_nSelectedSize, 599800);

    Select(page->m_listNotInstalled, {0, 1});
    EXPECT_EQ(page->m_nSelectedSize, 599800 + 499800);
    EXPECT_EQ(page->Label(1100), "およそ 1MB");
    Select(page->m_listNotInstalled, {2});
    EXPECT_EQ(page->Label(1100), "およそ 1MB");
    Select(page->m_listNotInstalled, {});
    EXPECT_EQ(page->Label(1100), "およそ 0MB");
    EXPECT_FALSE(page->m_btnInstall->IsEnabled());
    EXPECT_TRUE(modals.shown().empty());
}

TEST_F(GuidePageTest, TooLittleRoomAsksAndNoLeavesEverything)
{
    MakeGuideDb(source, {{"1", "1", "Small", 100, "01010000"}, {"1", "2", "Big", 1000, "01020000"}});
    MakeGuideDb(dest, {{"1", "3", "Tiny", 1, "01030000"}});
    ModalRecorder modals;
    Open();
    const std::string before = ReadFileBytes(dest);
    FakeFreeBytes() = 40200; // exactly Small's size is not enough
    modals.AnswerMessage(wxID_NO);
    page->Install({0});
    EXPECT_EQ(modals.messages(), std::vector<std::string>{msg::kLowSpace});
    EXPECT_EQ(Buttons(modals, 0), wxYES_NO) << "Yes and No, no icon";
    EXPECT_EQ(ReadFileBytes(dest), before);
    EXPECT_TRUE(page->m_listNotInstalled->IsRowSelected(0));
    EXPECT_FALSE(page->m_bGuideChanged);
    ExpectMainDialogBack();

    FakeFreeBytes() = 40201;
    Click(page, 1070);
    EXPECT_EQ(modals.messages().size(), 1u);
    EXPECT_EQ(GenreNames(dest), (std::vector<std::string>{"Small", "Tiny"}));

    // The room asked for is that of the genres to install, not of the last
    // selection made (Tiny on the other side).
    Select(page->m_listNotInstalled, {0});
    Select(page->m_listInstalled, {1});
    ASSERT_EQ(page->m_nSelectedSize, 600);
    FakeFreeBytes() = 400200;
    modals.AnswerMessage(wxID_YES);
    Click(page, 1070);
    EXPECT_EQ(modals.messages(), (std::vector<std::string>{msg::kLowSpace, msg::kLowSpace}));
    EXPECT_EQ(GenreNames(dest), (std::vector<std::string>{"Small", "Big", "Tiny"}));
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, CancellingTheSecondOfThreeGenresInstallsTheOthers)
{
    MakeGuideDb(source, kCd);
    ModalRecorder modals;
    modals.AnswerMessage(wxID_OK); // 2039: no hard-disk database yet
    Open();
    CancellingSink sink(page->m_progressDlg, 2, 2);
    page->SetProgressSink(&sink);
    page->Install({0, 1, 3}); // Cafes, Banks, Hotels

    EXPECT_EQ(modals.messages().size(), 1u);
    EXPECT_EQ(GenreNames(dest), (std::vector<std::string>{"Cafes", "Hotels"}));
    EXPECT_EQ(GroupRows(dest), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(RowCount(dest, "Point"), 4 + 5);
    EXPECT_EQ(RowCount(dest, "Category WHERE L1='3'"), 1 + 1 + 2);
    EXPECT_EQ(RowCount(dest, "Category WHERE L1='0'"), 1) << "seed row";
    EXPECT_TRUE(page->m_bGuideChanged);
    EXPECT_EQ(page->Installed(), (std::vector<std::string>{"Cafes", "Hotels"}));
    EXPECT_EQ(page->NotInstalled(), (std::vector<std::string>{"Banks", "Zoos"}));
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, CancellingTheOnlyGenreOfAFirstInstallLeavesNoFile)
{
    MakeGuideDb(source, kCd);
    ModalRecorder modals;
    modals.AnswerMessage(wxID_OK); // 2039 at the start
    Open();
    CancellingSink sink(page->m_progressDlg, 1, 1);
    page->SetProgressSink(&sink);
    modals.AnswerMessage(wxID_OK); // 2039 again when the lists are refilled
    page->Install({2});
    EXPECT_EQ(modals.messages(), (std::vector<std::string>{msg::CannotUse(dest), msg::CannotUse(dest)}));
    EXPECT_EQ(ListDir(hd.path()), std::vector<std::string>{});
    EXPECT_FALSE(page->m_bGuideChanged);
    EXPECT_EQ(page->NotInstalled(), kAll);
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, ANameAlreadyInTheDatabaseStopsTheInstall)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {{"7", "1", "Money", 1, "07010000"}});
    SqliteFile(dest).Exec("INSERT INTO Category (L1,L2,L3,L4,Name) VALUES ('7','1','1','0','Banks')");
    ModalRecorder modals;
    Open();
    modals.AnswerMessage(wxID_OK);
    page->Install({0, 1, 2}); // Cafes, Banks, Zoos
    EXPECT_EQ(modals.messages(), std::vector<std::string>{"「Banks」はすでにインストールされています。"});
    EXPECT_EQ(Buttons(modals, 0), wxOK);
    EXPECT_EQ(GenreNames(dest), (std::vector<std::string>{"Cafes", "Money"}));
    EXPECT_TRUE(page->m_bGuideChanged);
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, RemovalsTakeGroupRowsWithTheLastGenreAndTheFileWithTheLastOfAll)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {{"1", "1", "Cafes", 4, "01010000"}, {"1", "2", "Banks", 2, "01020000"},
                       {"2", "1", "Zoos", 3, "03010000", 1}});
    ModalRecorder modals;
    Open();
    page->Remove({0, 2}); // Cafes (one of two in group 1), Zoos (last of group 2)
    EXPECT_TRUE(modals.shown().empty());
    EXPECT_EQ(GenreNames(dest), std::vector<std::string>{"Banks"});
    EXPECT_EQ(GroupRows(dest), std::vector<std::string>{"1"});
    EXPECT_EQ(RowCount(dest, "Category WHERE L1='2'"), 0);
    EXPECT_EQ(RowCount(dest, "Point"), 2);
    EXPECT_TRUE(page->m_bGuideChanged);
    EXPECT_EQ(page->NotInstalled(), (std::vector<std::string>{"Cafes", "Zoos", "Hotels"}));

    modals.AnswerMessage(wxID_OK); // 2039 when the lists are refilled
    page->Remove({0});
    EXPECT_EQ(modals.messages(), std::vector<std::string>{msg::CannotUse(dest)});
    EXPECT_EQ(ListDir(hd.path()), std::vector<std::string>{});
    EXPECT_EQ(page->NotInstalled(), kAll);
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, RemovingFromAVanishedDatabaseReportsIt)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {{"1", "1", "Cafes", 4, "01010000"}, {"2", "1", "Zoos", 3, "03010000"}});
    ModalRecorder modals;
    Open();
    Select(page->m_listInstalled, {0});
    std::remove(dest.c_str());
    modals.AnswerMessage(wxID_OK); // 2032
    modals.AnswerMessage(wxID_OK); // 2039 from the refill
    Click(page, 1080);
    EXPECT_EQ(modals.messages(),
              (std::vector<std::string>{"'" + dest +
                                            "'のファイルが見つかりませんでした。\n指定のパスにファイルがあるか確認してください。",
                                        msg::CannotUse(dest)}));
    EXPECT_TRUE(page->Installed().empty());
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, NamesWithQuotesPercentBackslashAndTrailByte5CInstallAndRemove)
{
    // "表" is 0x95 0x5C in CP932: its trail byte is a backslash.
    const std::vector<std::string> names = {"Bob's cafe", "100% juice", "C:\\drive-in", "表示灯ソフト"};
    const char* const codes[] = {"05010000", "05020000", "05030000", "05040000"};
    std::vector<FixtureGenre> genres = {{"6", "1", "Keeper", 1, "06010000"}};
    for (size_t i = 0; i < names.size(); ++i)
        genres.push_back({"5", std::to_string(i + 1), names[i], 2, codes[i]});
    MakeGuideDb(source, genres);
    MakeGuideDb(dest, {genres[0]});
    ModalRecorder modals;
    Open();
    ASSERT_EQ(page->NotInstalled(), names);

    Select(page->m_listNotInstalled, {0, 1, 2, 3});
    EXPECT_EQ(page->m_nSelectedSize, 4 * (2 * 400 + 200));
    Click(page, 1070);
    EXPECT_TRUE(modals.shown().empty());
    EXPECT_EQ(GenreNames(dest), (std::vector<std::string>{names[0], names[1], names[2], names[3], "Keeper"}));
    EXPECT_EQ(RowCount(dest, "Point WHERE L1='5'"), 8);

    page->Remove({0, 1, 2, 3});
    EXPECT_TRUE(modals.shown().empty());
    EXPECT_EQ(GenreNames(dest), std::vector<std::string>{"Keeper"});
    EXPECT_EQ(RowCount(dest, "Point WHERE L1='5'"), 0);
    EXPECT_EQ(GroupRows(dest), std::vector<std::string>{"6"});
    EXPECT_EQ(page->NotInstalled(), names);
}

TEST_F(GuidePageTest, BrowsingKeepsTheSidesApart)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {{"1", "1", "Cafes", 4, "01010000"}});
    TempDir other;
    ModalRecorder modals;
    Open();
    Select(page->m_listNotInstalled, {0});

    modals.AnswerDir(hd.path());
    modals.AnswerMessage(wxID_OK);
    Click(page, 1040);
    modals.AnswerDir(""); // cancelled
    Click(page, 1050);
    EXPECT_EQ(page->m_strSourcePath, source);
    EXPECT_EQ(page->m_strDestPath, dest);
    EXPECT_FALSE(page->m_sizeCache.empty());

    modals.AnswerDir(other.path());
    modals.AnswerMessage(wxID_OK); // 2039 for the new, missing destination
    Click(page, 1050);
    EXPECT_EQ(page->Label(1020), other / "Guide.dbs");
    EXPECT_TRUE(page->m_sizeCache.empty());
    EXPECT_EQ(page->NotInstalled(), kAll);

    std::vector<std::string> texts;
    for (const auto& s : modals.shown())
        texts.push_back(s.text);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "インストール元フォルダを選択してください。\n [例] Q:\n",
                         "インストール元フォルダとインストール先フォルダを同じにすることはできません。",
                         "インストールするフォルダを選択してください。\n [例] C:Program Files\\Tessra4\\LocalData",
                         "インストールするフォルダを選択してください。\n [例] C:Program Files\\Tessra4\\LocalData",
                         msg::CannotUse(other / "Guide.dbs")}));
}

TEST_F(GuidePageTest, OptimisationAtCloseDeclinedOrAccepted)
{
    std::vector<FixtureGenre> genres;
    for (int i = 0; i < 8; ++i)
        genres.push_back({std::to_string(i / 4 + 1), std::to_string(i % 4 + 1), "Genre " + std::to_string(i), 100,
                          "01010000"});
    MakeGuideDb(source, genres);
    MakeGuideDb(dest, genres);
    ModalRecorder modals;
    Open();
    page->Remove({0, 1, 2, 3, 4});
    ASSERT_TRUE(page->m_bGuideChanged);
    const std::vector<std::string> rows = AllRows(dest);
    const std::string before = ReadFileBytes(dest);

    modals.AnswerMessage(wxID_NO);
    page->SaveAndCompact();
    EXPECT_EQ(modals.messages(), std::vector<std::string>{msg::kAskOptimise});
    EXPECT_EQ(Buttons(modals, 0), wxYES_NO | wxICON_INFORMATION);
    EXPECT_EQ(ReadFileBytes(dest), before);

    modals.clear();
    modals.AnswerMessage(wxID_YES);
    modals.AnswerMessage(wxID_OK);
    page->SaveAndCompact();
    EXPECT_EQ(modals.messages(), (std::vector<std::string>{msg::kAskOptimise, msg::kOptimised}));
    EXPECT_EQ(Buttons(modals, 1), wxOK);
    EXPECT_EQ(AllRows(dest), rows);
    EXPECT_EQ(IntegrityCheck(dest), "ok");
    EXPECT_LT(ReadFileBytes(dest).size(), before.size());
    EXPECT_EQ(ListDir(hd.path()), std::vector<std::string>{"Guide.dbs"});
    EXPECT_EQ(GetGuideHdPath("Guide.dbs"), dest);
    EXPECT_EQ(GetGuideCdPath(), source);
}

// In the program the page lives in a modal dialog; the progress dialog's
// cancel button must still take a real click while genres are copied.
TEST_F(GuidePageTest, TheCancelButtonTakesAClickWhileTheMainDialogIsModal)
{
    MakeGuideDb(source, {{"1", "1", "Large", 3000, "01010000"}, {"1", "2", "Other", 3, "01020000"}});
    MakeGuideDb(dest, {{"1", "2", "Other", 3, "01020000"}});
    wxDialog* modal = new wxDialog(nullptr, wxID_ANY, "Pellvane", wxDefaultPosition, wxSize(600, 400));
    Open(modal);

    class ClickingSink : public CProgressSink {
    public:
        explicit ClickingSink(CProgressDlg* dlg) : m_dlg(dlg) {}
        void SetRange(int lower, int upper) override { m_dlg->SetRange(lower, upper); }
        void SetStep(int step) override { m_dlg->SetStep(step); }
        void SetPos(int pos) override
        {
            m_dlg->SetPos(pos);
            m_bCancel = m_dlg->m_bCancel;
        }
        int PumpAndStep() override
        {
            if (++m_rows == 5) {
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
        int m_rows = 0;
    } sink(page->m_progressDlg);
    page->SetProgressSink(&sink);

    modal->CallAfter([&] {
        page->Install({0});
        modal->EndModal(wxID_OK);
    });
    modal->ShowModal();
    EXPECT_GE(sink.m_rows, 5);
    EXPECT_LT(sink.m_rows, 3000) << "the click never arrived";
    EXPECT_EQ(GenreNames(dest), std::vector<std::string>{"Other"});
    EXPECT_FALSE(page->m_bGuideChanged);
    EXPECT_TRUE(modal->IsEnabled());
    modal->Destroy();
}
