#include "guide_page_harness.h"

#include <wx/msgdlg.h>
#include <wx/tooltip.h>
#include <wx/time.h>
#include <wx/uiaction.h>

namespace {

const std::vector<FixtureGenre> kCd = {
    {"2", "1", "Zoos", 3, "03010000"},
    {"1", "2", "Banks", 2, "01020000"},
    {"1", "1", "Cafes", 4, "01010000"},
    {"3", "1", "Hotels", 5, "04010000", 2},
};

std::vector<std::string> DbTempFiles(const std::string& dir)
{
    std::vector<std::string> found;
    for (const auto& name : ListDir(dir))
        if (name.rfind("db", 0) == 0)
            found.push_back(name);
    return found;
}

} // namespace

TEST_F(GuidePageTest, WithoutAHardDiskDatabaseEveryGenreIsOffered)
{
    MakeGuideDb(source, kCd);
    ModalRecorder modals;
    modals.AnswerMessage(wxID_OK);
    Open(source, dest);

    ASSERT_EQ(modals.messages(), std::vector<std::string>{msg::CannotUse(dest)});
    EXPECT_EQ(modals.shown()[0].style & (wxYES_NO | wxOK | wxICON_INFORMATION), wxOK);
    EXPECT_EQ(page->NotInstalled(), (std::vector<std::string>{"Cafes", "Banks", "Zoos", "Hotels"}));
    EXPECT_TRUE(page->Installed().empty());
    for (int i = 0; i < page->m_listNotInstalled->GetItemCount(); ++i)
        EXPECT_EQ(page->m_listNotInstalled->GetItemDataAt(i), wxUIntPtr(i));

    EXPECT_EQ(page->LabelText(1010), source);
    EXPECT_EQ(page->LabelText(1020), dest);
    EXPECT_EQ(page->LabelText(1043), "未インストールのジャンル(&S):");
    EXPECT_EQ(page->LabelText(1044), "インストール済みジャンル(&S):");
    EXPECT_EQ(page->LabelText(1100), "およそ 0MB");
    EXPECT_EQ(page->LabelText(1110), "およそ 0MB");
    EXPECT_FALSE(page->m_btnInstall->IsEnabled());
    EXPECT_FALSE(page->m_btnRemove->IsEnabled());
    EXPECT_FALSE(page->m_progressDlg->IsShown());
    EXPECT_TRUE(page->m_sizeCache.empty());
    EXPECT_FALSE(PathExists(dest)) << "opening the page creates nothing";
}

TEST_F(GuidePageTest, ControlsCarryTheirTips)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {});
    ModalRecorder modals;
    Open(source, dest);
    const struct {
        int id;
        const char* tip;
    } tips[] = {
        {1030, "インストール可能なデータです。"},       {1060, "インストール済データです。"},
        {1070, "選択したデータをインストールします。"}, {1080, "選択したデータを削除します。"},
        {1100, "選択したインストールデータのサイズです。"}, {1110, "インストール先の空き容量です。"},
        {1010, "インストール元パスです。"},             {1020, "インストール先パスです。"},
        {1040, "インストール元を選択します。"},         {1050, "インストール先を選択します。"},
    };
    for (const auto& t : tips) {
        wxWindow* control = page->FindWindow(t.id);
        ASSERT_NE(control, nullptr) << t.id;
        EXPECT_EQ(control->GetToolTipText().utf8_string(), t.tip) << t.id;
    }
}

TEST_F(GuidePageTest, AGenreWhoseCodeIsInstalledIsNotOffered)
{
    MakeGuideDb(source, kCd);
    // Banks' code under another name, L1 and L2.
    MakeGuideDb(dest, {{"9", "9", "Money", 1, "01020077"}});
    ModalRecorder modals;
    Open(source, dest);
    EXPECT_TRUE(modals.shown().empty());
    EXPECT_EQ(page->NotInstalled(), (std::vector<std::string>{"Cafes", "Zoos", "Hotels"}));
    EXPECT_EQ(page->Installed(), std::vector<std::string>{"Money"});
    ASSERT_EQ(page->m_installedGenres.size(), 1u);
    EXPECT_EQ(page->m_installedGenres[0].GenreCode, "01020000");
}

TEST_F(GuidePageTest, SizeLabelsFollowTheSelection)
{
    MakeGuideDb(source, {
                            {"1", "1", "Big", 1499, "01010000"},   // 599800 bytes
                            {"1", "2", "Other", 1249, "01020000"}, // 499800 bytes
                            {"1", "3", "Small", 100, "01030000"},  // 40200 bytes
                        });
    MakeGuideDb(dest, {});
    ModalRecorder modals;
    Open(source, dest);

    page->SelectNotInstalled({0, 1});
    EXPECT_EQ(page->LabelText(1100), "およそ 1MB");
    EXPECT_EQ(page->m_nSelectedSize, 599800 + 499800);
    EXPECT_TRUE(page->m_btnInstall->IsEnabled());

    page->SelectNotInstalled({2});
    EXPECT_EQ(page->m_nSelectedSize, 40200);
    EXPECT_EQ(page->LabelText(1100), "およそ 1MB");

    page->SelectNotInstalled({});
    EXPECT_EQ(page->LabelText(1100), "およそ 0MB");
    EXPECT_FALSE(page->m_btnInstall->IsEnabled());
    EXPECT_EQ(page->m_sizeCache.size(), 3u);
    EXPECT_TRUE(modals.shown().empty());
}

TEST_F(GuidePageTest, InstallWithNothingSelectedChangesNothing)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {});
    const std::string before = ReadFileBytes(dest);
    ModalRecorder modals;
    Open(source, dest);
    page->Install();
    EXPECT_TRUE(modals.shown().empty());
    EXPECT_EQ(ReadFileBytes(dest), before);
    EXPECT_EQ(page->NotInstalled().size(), 4u);
    EXPECT_FALSE(page->m_bGuideChanged);
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, FreeSpaceEqualToTheSelectionAsksAndNoLeavesEverything)
{
    MakeGuideDb(source, {{"1", "1", "Small", 100, "01010000"}, {"1", "2", "Other", 3, "01020000"}});
    ModalRecorder modals;
    modals.AnswerMessage(wxID_OK); // 2039: no hard-disk database yet
    Open(source, dest);
    page->SelectNotInstalled({0});
    FakeFreeBytes() = 40200;

    modals.AnswerMessage(wxID_NO);
    page->Click(TestGuidePage::IDC_INSTALL);
    ASSERT_EQ(modals.messages().size(), 2u);
    EXPECT_EQ(modals.messages()[1], msg::kLowSpace);
    EXPECT_EQ(modals.shown()[1].style & (wxYES_NO | wxOK | wxICON_INFORMATION), wxYES_NO) << "Yes and No, no icon";
    EXPECT_FALSE(PathExists(dest));
    EXPECT_EQ(page->NotInstalled(), (std::vector<std::string>{"Small", "Other"}));
    EXPECT_TRUE(page->m_listNotInstalled->IsRowSelected(0));
    EXPECT_FALSE(page->m_bGuideChanged);
    ExpectMainDialogBack();

    // One byte more is enough room: no question.
    FakeFreeBytes() = 40201;
    page->Click(TestGuidePage::IDC_INSTALL);
    EXPECT_EQ(modals.messages().size(), 2u);
    EXPECT_EQ(GenreNames(dest), std::vector<std::string>{"Small"});
}

TEST_F(GuidePageTest, RoomCheckWeighsTheGenresBeingInstalled)
{
    MakeGuideDb(source, {{"1", "1", "Big", 1000, "01010000"}, {"1", "2", "Tiny", 1, "01020000"}});
    MakeGuideDb(dest, {{"1", "2", "Tiny", 1, "01020000"}});
    ModalRecorder modals;
    Open(source, dest);
    page->SelectNotInstalled({0});        // Big: 400200 bytes
    page->SelectInstalled({0});           // Tiny: 600 bytes, computed last
    ASSERT_EQ(page->m_nSelectedSize, 600);
    FakeFreeBytes() = 400200;             // room for Tiny, not for Big

    modals.AnswerMessage(wxID_YES);
    page->Click(TestGuidePage::IDC_INSTALL);
    EXPECT_EQ(modals.messages(), std::vector<std::string>{msg::kLowSpace});
    EXPECT_EQ(GenreNames(dest), (std::vector<std::string>{"Big", "Tiny"}));
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, CancellingTheSecondOfThreeGenresInstallsTheOthers)
{
    MakeGuideDb(source, kCd);
    ModalRecorder modals;
    modals.AnswerMessage(wxID_OK); // 2039: no hard-disk database yet
    Open(source, dest);
    CancellingSink sink(page->m_progressDlg, 2, 2);
    page->SetProgressSink(&sink);

    page->SelectNotInstalled({0, 1, 3}); // Cafes, Banks, Hotels
    page->Click(TestGuidePage::IDC_INSTALL);

    EXPECT_EQ(modals.messages().size(), 1u);
    EXPECT_EQ(GenreNames(dest), (std::vector<std::string>{"Cafes", "Hotels"}));
    EXPECT_EQ(GroupRows(dest), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(RowCount(dest, "SELECT count(*) FROM Point WHERE L1='1' AND L2='2'"), 0);
    EXPECT_EQ(RowCount(dest, "SELECT count(*) FROM Point"), 4 + 5);
    EXPECT_EQ(RowCount(dest, "SELECT count(*) FROM Category WHERE L1='3'"), 1 + 1 + 2);
    EXPECT_EQ(RowCount(dest, "SELECT count(*) FROM Category WHERE Name='施設' AND L1='0'"), 1) << "seed row";
    EXPECT_TRUE(page->m_bGuideChanged);
    EXPECT_EQ(page->Installed(), (std::vector<std::string>{"Cafes", "Hotels"}));
    EXPECT_EQ(page->NotInstalled(), (std::vector<std::string>{"Banks", "Zoos"}));
    EXPECT_FALSE(page->m_btnInstall->IsEnabled());
    EXPECT_EQ(page->LabelText(1100), "およそ 0MB");
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, CancellingTheOnlyGenreOfAFirstInstallLeavesNoFile)
{
    MakeGuideDb(source, kCd);
    ModalRecorder modals;
    modals.AnswerMessage(wxID_OK); // 2039 at the start
    Open(source, dest);
    CancellingSink sink(page->m_progressDlg, 1, 1);
    page->SetProgressSink(&sink);

    page->SelectNotInstalled({2});
    modals.AnswerMessage(wxID_OK); // 2039 again when the lists are refilled
    page->Click(TestGuidePage::IDC_INSTALL);

    EXPECT_EQ(modals.messages(), (std::vector<std::string>{msg::CannotUse(dest), msg::CannotUse(dest)}));
    EXPECT_EQ(ListDir(hd.path()), std::vector<std::string>{});
    EXPECT_FALSE(page->m_bGuideChanged);
    EXPECT_EQ(page->NotInstalled().size(), 4u);
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, ANameAlreadyInTheDatabaseStopsTheInstall)
{
    MakeGuideDb(source, kCd);
    // "Banks" stands in the destination as a lower-level row of another genre.
    MakeGuideDb(dest, {{"7", "1", "Money", 1, "07010000"}});
    {
        SqliteFile f(dest);
        f.Exec("INSERT INTO Category (L1,L2,L3,L4,Name) VALUES ('7','1','1','0','Banks')");
    }
    ModalRecorder modals;
    Open(source, dest);
    page->SelectNotInstalled({0, 1, 2}); // Cafes, Banks, Zoos
    modals.AnswerMessage(wxID_OK);
    page->Click(TestGuidePage::IDC_INSTALL);

    EXPECT_EQ(modals.messages(), std::vector<std::string>{msg::AlreadyInstalled("Banks")});
    EXPECT_EQ(modals.shown()[0].style & (wxYES_NO | wxOK | wxICON_INFORMATION), wxOK);
    EXPECT_EQ(GenreNames(dest), (std::vector<std::string>{"Cafes", "Money"}));
    EXPECT_TRUE(page->m_bGuideChanged);
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, RemovingEveryGenreDeletesTheFile)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {{"1", "1", "Cafes", 4, "01010000"}, {"2", "1", "Zoos", 3, "03010000"}});
    ModalRecorder modals;
    Open(source, dest);
    page->SelectInstalled({0, 1});
    modals.AnswerMessage(wxID_OK); // 2039 when the lists are refilled
    page->Click(TestGuidePage::IDC_REMOVE);

    EXPECT_EQ(modals.messages(), std::vector<std::string>{msg::CannotUse(dest)});
    EXPECT_EQ(ListDir(hd.path()), std::vector<std::string>{});
    EXPECT_FALSE(page->m_bGuideChanged);
    EXPECT_TRUE(page->Installed().empty());
    EXPECT_EQ(page->NotInstalled().size(), 4u);
    EXPECT_FALSE(page->m_btnRemove->IsEnabled());
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, TheGroupRowGoesWithTheLastGenreOfItsGroup)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {
                          {"1", "1", "Cafes", 4, "01010000"},
                          {"1", "2", "Banks", 2, "01020000"},
                          {"2", "1", "Zoos", 3, "03010000", 1},
                      });
    ModalRecorder modals;
    Open(source, dest);
    ASSERT_EQ(page->Installed(), (std::vector<std::string>{"Cafes", "Banks", "Zoos"}));

    page->SelectInstalled({0, 2}); // Cafes (one of two in group 1), Zoos (last of group 2)
    page->Click(TestGuidePage::IDC_REMOVE);

    EXPECT_TRUE(modals.shown().empty());
    EXPECT_EQ(GenreNames(dest), std::vector<std::string>{"Banks"});
    EXPECT_EQ(GroupRows(dest), std::vector<std::string>{"1"});
    EXPECT_EQ(RowCount(dest, "SELECT count(*) FROM Category WHERE L1='2'"), 0);
    EXPECT_EQ(RowCount(dest, "SELECT count(*) FROM Point"), 2);
    EXPECT_TRUE(page->m_bGuideChanged);
    EXPECT_EQ(page->Installed(), std::vector<std::string>{"Banks"});
    EXPECT_EQ(page->NotInstalled(), (std::vector<std::string>{"Cafes", "Zoos", "Hotels"}));
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, RemovingFromAVanishedDatabaseReportsIt)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {{"1", "1", "Cafes", 4, "01010000"}, {"2", "1", "Zoos", 3, "03010000"}});
    ModalRecorder modals;
    Open(source, dest);
    page->SelectInstalled({0});
    std::remove(dest.c_str());

    modals.AnswerMessage(wxID_OK); // 2032
    modals.AnswerMessage(wxID_OK); // 2039 from the refill
    page->Click(TestGuidePage::IDC_REMOVE);
    EXPECT_EQ(modals.messages(), (std::vector<std::string>{msg::NotFound(dest), msg::CannotUse(dest)}));
    EXPECT_TRUE(page->Installed().empty());
    EXPECT_FALSE(page->m_bGuideChanged);
    ExpectMainDialogBack();
}

TEST_F(GuidePageTest, NamesWithQuotesPercentBackslashAndTrailByte5CInstallAndRemove)
{
    // "表" is 0x95 0x5C in CP932: its trail byte is a backslash.
    const std::vector<std::string> names = {"Bob's cafe", "100% juice", "C:\\drive-in", "表示灯ソフト"};
    const char* const codes[] = {"05010000", "05020000", "05030000", "05040000"};
    std::vector<FixtureGenre> genres;
    for (size_t i = 0; i < names.size(); ++i)
        genres.push_back({"5", std::to_string(i + 1), names[i], 2, codes[i]});
    genres.push_back({"6", "1", "Keeper", 1, "06010000"});
    MakeGuideDb(source, genres);
    MakeGuideDb(dest, {{"6", "1", "Keeper", 1, "06010000"}});
    ModalRecorder modals;
    Open(source, dest);
    ASSERT_EQ(page->NotInstalled(), names);

    page->SelectNotInstalled({0, 1, 2, 3});
    EXPECT_EQ(page->m_nSelectedSize, 4 * (2 * 400 + 200));
    page->Click(TestGuidePage::IDC_INSTALL);
    EXPECT_TRUE(modals.shown().empty()) << modals.messages()[0];
    EXPECT_EQ(GenreNames(dest), (std::vector<std::string>{names[0], names[1], names[2], names[3], "Keeper"}));
    EXPECT_EQ(RowCount(dest, "SELECT count(*) FROM Point WHERE L1='5'"), 8);
    EXPECT_TRUE(page->NotInstalled().empty());

    // Everything but Keeper goes, genre by genre.
    page->SelectInstalled({0, 1, 2, 3});
    EXPECT_EQ(page->m_nSelectedSize, 4 * (2 * 400 + 200));
    page->Click(TestGuidePage::IDC_REMOVE);
    EXPECT_TRUE(modals.shown().empty());
    EXPECT_EQ(GenreNames(dest), std::vector<std::string>{"Keeper"});
    EXPECT_EQ(RowCount(dest, "SELECT count(*) FROM Point WHERE L1='5'"), 0);
    EXPECT_EQ(GroupRows(dest), std::vector<std::string>{"6"});
    EXPECT_EQ(page->NotInstalled(), names);
}

TEST_F(GuidePageTest, BrowsingKeepsTheSidesApart)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {{"1", "1", "Cafes", 4, "01010000"}});
    TempDir other;
    ModalRecorder modals;
    Open(source, dest);
    page->SelectNotInstalled({0});
    ASSERT_FALSE(page->m_sizeCache.empty());

    // The source may not be the destination's folder.
    modals.AnswerDir(hd.path());
    modals.AnswerMessage(wxID_OK);
    page->Click(TestGuidePage::IDC_BROWSE_SOURCE);
    EXPECT_EQ(modals.messages(), std::vector<std::string>{msg::kSameFolders});
    EXPECT_EQ(page->m_strSourcePath, source);
    EXPECT_FALSE(page->m_sizeCache.empty());

    // Cancelling changes nothing.
    modals.AnswerDir("");
    page->Click(TestGuidePage::IDC_BROWSE_DEST);
    EXPECT_EQ(page->m_strDestPath, dest);

    // A new destination folder gives the guide file in it; no file there yet.
    modals.AnswerDir(other.path());
    modals.AnswerMessage(wxID_OK); // 2039 for the new, missing destination
    page->Click(TestGuidePage::IDC_BROWSE_DEST);
    EXPECT_EQ(page->m_strDestPath, other / "Guide.dbs");
    EXPECT_EQ(page->LabelText(1020), other / "Guide.dbs");
    EXPECT_TRUE(page->m_sizeCache.empty());
    EXPECT_TRUE(page->Installed().empty());
    EXPECT_EQ(page->NotInstalled().size(), 4u);
    std::vector<std::string> dirs;
    for (const auto& s : modals.shown())
        if (s.kind == "dir")
            dirs.push_back(s.text);
    ASSERT_EQ(dirs.size(), 3u);
    EXPECT_EQ(dirs[0], "インストール元フォルダを選択してください。\n [例] Q:\n");
    EXPECT_EQ(dirs[1], "インストールするフォルダを選択してください。\n [例] C:Program Files\\Tessra4\\LocalData");
}

TEST_F(GuidePageTest, EscapeIsKeptFromTheMainDialog)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {});
    ModalRecorder modals;
    Open(source, dest);
    int reachedMain = 0;
    main->Bind(wxEVT_CHAR_HOOK, [&](wxKeyEvent& e) {
        ++reachedMain;
        e.Skip();
    });
    for (int key : {int(WXK_ESCAPE), int(WXK_RETURN)}) {
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = key;
        event.SetEventObject(page->m_listNotInstalled);
        page->m_listNotInstalled->ProcessWindowEvent(event);
    }
    EXPECT_EQ(reachedMain, 1) << "only the Enter key travels on";
}

TEST_F(GuidePageTest, OptimisationAtCloseAfterAnInstall)
{
    MakeGuideDb(source, kCd);
    MakeGuideDb(dest, {{"2", "1", "Zoos", 3, "03010000"}});
    ModalRecorder modals;
    Open(source, dest);
    page->SelectNotInstalled({0, 1});
    page->Click(TestGuidePage::IDC_INSTALL);
    page->SelectInstalled({0});
    page->Click(TestGuidePage::IDC_REMOVE);
    ASSERT_TRUE(page->m_bGuideChanged);
    const std::vector<std::string> rows = AllRows(dest);
    const std::string before = ReadFileBytes(dest);

    modals.AnswerMessage(wxID_NO);
    page->SaveAndCompact();
    EXPECT_EQ(modals.messages(), std::vector<std::string>{msg::kAskOptimise});
    EXPECT_EQ(modals.shown()[0].style & (wxYES_NO | wxOK | wxICON_INFORMATION), wxYES_NO | wxICON_INFORMATION);
    EXPECT_EQ(ReadFileBytes(dest), before);

    modals.clear();
    modals.AnswerMessage(wxID_YES);
    modals.AnswerMessage(wxID_OK);
    page->SaveAndCompact();
    EXPECT_EQ(modals.messages(), (std::vector<std::string>{msg::kAskOptimise, msg::kOptimised}));
    EXPECT_EQ(modals.shown()[1].style & (wxYES_NO | wxOK | wxICON_INFORMATION), wxOK);
    EXPECT_EQ(AllRows(dest), rows);
    EXPECT_EQ(IntegrityCheck(dest), "ok");
    EXPECT_EQ(DbTempFiles(hd.path()), std::vector<std::string>{});
    EXPECT_EQ(GetGuideHdPath("Guide.dbs"), dest);
    EXPECT_EQ(GetGuideCdPath(), source);
}

TEST_F(GuidePageTest, AClickOnAGenreShowsItsSize)
{
    MakeGuideDb(source, {{"1", "1", "Small", 100, "01010000"}, {"1", "2", "Other", 3, "01020000"}});
    MakeGuideDb(dest, {});
    ModalRecorder modals;
    Open(source, dest);
    main->Raise();
    PumpEvents();

    wxUIActionSimulator sim;
    const wxPoint row0 = page->m_listNotInstalled->ClientToScreen(wxPoint(40, 8));
    sim.MouseMove(row0);
    PumpEvents();
    sim.MouseClick();
    for (int i = 0; i < 20 && !page->m_btnInstall->IsEnabled(); ++i)
        PumpEvents();

    EXPECT_EQ(page->m_listNotInstalled->GetSelectedIndexes(), std::vector<int>{0});
    EXPECT_EQ(page->LabelText(1100), "およそ 1MB");
    EXPECT_EQ(page->m_nSelectedSize, 40200);
    EXPECT_TRUE(page->m_btnInstall->IsEnabled());
}

// In the program the page lives in a modal dialog; the progress dialog's
// cancel button must still take a real click while genres are copied.
TEST_F(GuidePageTest, TheCancelButtonTakesAClickWhileTheMainDialogIsModal)
{
    MakeGuideDb(source, {{"1", "1", "Large", 3000, "01010000"}, {"1", "2", "Other", 3, "01020000"}});
    MakeGuideDb(dest, {{"1", "2", "Other", 3, "01020000"}});
    wxDialog* modal = new wxDialog(nullptr, wxID_ANY, "Pellvane", wxDefaultPosition, wxSize(600, 400));
    SetGuideCdPath(source.c_str());
    SetGuideHdPath(dest.c_str());
    page = new TestGuidePage;
    ASSERT_TRUE(page->Create(modal));
    page->SetMainDialog(modal);

    // Presses the real button through the X server once the copy runs, and
    // keeps the copy going (pumping) until the click has arrived.
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
                const auto until = wxGetLocalTimeMillis() + 5000;
                while (!m_dlg->m_bCancel && wxGetLocalTimeMillis() < until)
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
        page->SelectNotInstalled({0});
        page->Click(TestGuidePage::IDC_INSTALL);
        modal->EndModal(wxID_OK);
    });
    modal->ShowModal();

    EXPECT_GE(sink.m_rows, 5);
    EXPECT_LT(sink.m_rows, 3000) << "the copy ran to its end: the click never arrived";
    EXPECT_EQ(GenreNames(dest), std::vector<std::string>{"Other"});
    EXPECT_FALSE(page->m_bGuideChanged);
    EXPECT_TRUE(modal->IsEnabled());
    modal->Destroy();
    page = nullptr;
}
