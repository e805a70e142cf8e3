// The guide data on the project's sample CD-ROM, through the installer's
// main dialog: a first install of three genres with the second cancelled, a
// removal, and the optimisation at close.
#include "guide_page_harness.h"

#include <unistd.h>

#include "platform/registry.h"
#include "shell/installer_dlg.h"

namespace {

class ClosableDlg : public CInstallerDlg {
public:
    wxWindow* Guide() { return &m_pageGuide; }
    CGuidePage& GuidePage() { return m_pageGuide; }
};

template <class T>
T* Find(wxWindow* parent, int id)
{
    T* window = dynamic_cast<T*>(parent->FindWindow(id));
    EXPECT_NE(window, nullptr) << "no window " << id;
    return window;
}

void Select(CGenreListCtrl* list, std::initializer_list<int> rows)
{
    list->UnselectAll();
    for (int row : rows)
        list->SelectRow(static_cast<unsigned>(row));
    wxDataViewEvent event(wxEVT_DATAVIEW_SELECTION_CHANGED, list, wxDataViewItem());
    list->ProcessWindowEvent(event);
}

void Click(wxWindow* parent, int id)
{
    auto* button = Find<wxButton>(parent, id);
    ASSERT_TRUE(button && button->IsEnabled()) << "button " << id;
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(button);
    button->ProcessWindowEvent(event);
}

std::vector<std::string> Items(CGenreListCtrl* list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list->GetItemCount(); ++i)
        names.push_back(ToUtf8(list->GetItemText(i)));
    return names;
}

std::string RegistryValue(const char* key, const char* name)
{
    return RegReadString(HKEY_LOCAL_MACHINE, key, name);
}

} // namespace

class SampleCdTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previousCalls = SetDiskFreeCalls({&FakeDiskFreeSpaceEx, nullptr});
        FakeFreeBytes() = 1ull << 40;
    }
    void TearDown() override { SetDiskFreeCalls(m_previousCalls); }

    TempDir cd;
    TempDir hd;
    TempDir data;
    TempDir runtime;
    ScratchRegistry registry;
    DiskFreeCalls m_previousCalls{};
};

TEST_F(SampleCdTest, InstallCancelRemoveAndOptimise)
{
    const std::string generator = std::string(PELLVANE_BINARY_DIR) + "/bin/make-sample-cd";
    ASSERT_EQ(access(generator.c_str(), X_OK), 0) << "build make-sample-cd first";
    ASSERT_EQ(std::system(("'" + generator + "' '" + cd.path() + "' --genres 12 --points-per-genre 40 --seed 5 >/dev/null").c_str()), 0);
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    const std::string source = cd / "Guide.dbs";
    const std::string dest = hd / "Guide.dbs";
    SetGuideCdPath(source.c_str());
    SetGuideHdPath(dest.c_str());
    SetAddressCdPath((cd.path() + "/Adr_L.dbs").c_str());
    SetAddressHdPath((hd.path() + "/Address.dbs").c_str());

    std::vector<std::string> onCd;
    {
        SqliteFile f(source);
        onCd = f.Rows("SELECT Name FROM Category WHERE L3='0' ORDER BY L1,L2");
    }
    ASSERT_EQ(onCd.size(), 12u);

    ModalRecorder modals;
    modals.AnswerMessage(wxID_OK); // 2039: no guide database on the hard disk yet
    auto dlg = std::make_unique<ClosableDlg>();
    ASSERT_EQ(modals.messages(), std::vector<std::string>{msg::CannotUse(dest)});
    modals.clear();

    CGenreListCtrl* notInstalled = nullptr;
    CGenreListCtrl* installed = nullptr;
    modals.AnswerCustom([&](wxDialog* d) {
        d->CallAfter([&, d] {
            PumpEvents();
            wxWindow* page = dlg->Guide();
            notInstalled = Find<CGenreListCtrl>(page, 1030);
            installed = Find<CGenreListCtrl>(page, 1060);
            EXPECT_EQ(Items(notInstalled), onCd);

            auto* progress = dynamic_cast<CProgressDlg*>(wxWindow::FindWindowById(CProgressDlg::IDD));
            EXPECT_NE(progress, nullptr);
            CancellingSink sink(progress, 2, 3);
            dlg->GuidePage().SetProgressSink(&sink);
            Select(notInstalled, {0, 1, 2});
            Click(page, 1070);
            dlg->GuidePage().SetProgressSink(nullptr);
            EXPECT_EQ(Items(installed), (std::vector<std::string>{onCd[0], onCd[2]}));

            Select(installed, {0});
            Click(page, 1080);
            EXPECT_EQ(Items(installed), std::vector<std::string>{onCd[2]});
            EXPECT_TRUE(d->IsEnabled());

            modals.AnswerMessage(wxID_YES); // 2023
            modals.AnswerMessage(wxID_OK);  // 2024
            Click(d, IDC_CLOSE_BUTTON);
            if (d->IsModal())
                d->EndModal(wxID_CANCEL);
        });
        return static_cast<int>(wxID_NONE); // the dialog runs its own modal loop
    });
    EXPECT_EQ(dlg->ShowModal(), wxID_OK);
    dlg.reset();

    EXPECT_EQ(modals.messages(), (std::vector<std::string>{msg::kAskOptimise, msg::kOptimised}));

    // Exactly the third genre, with its group row and all its rows.
    EXPECT_EQ(GenreNames(dest), std::vector<std::string>{onCd[2]});
    std::string l1, l2;
    {
        SqliteFile f(source);
        const auto row = f.Rows("SELECT L1, L2 FROM Category WHERE L3='0' ORDER BY L1,L2").at(2);
        l1 = row.substr(0, row.find('|'));
        l2 = row.substr(row.find('|') + 1);
    }
    const std::string genre = "L1='" + l1 + "' AND L2='" + l2 + "'";
    for (const std::string& count : {"SELECT count(*) FROM Category WHERE " + genre,
                                     "SELECT count(*) FROM Point WHERE " + genre,
                                     "SELECT count(*) FROM Category WHERE L1='" + l1 + "' AND L2='0'"})
        EXPECT_EQ(RowCount(dest, count), RowCount(source, count)) << count;
    EXPECT_EQ(RowCount(dest, "SELECT count(*) FROM Point"), RowCount(dest, "SELECT count(*) FROM Point WHERE " + genre));
    EXPECT_EQ(GroupRows(dest), std::vector<std::string>{l1});
    EXPECT_EQ(IntegrityCheck(dest), "ok");
    EXPECT_EQ(ListDir(hd.path()), std::vector<std::string>{"Guide.dbs"});

    EXPECT_EQ(RegistryValue(kGuideKey, "DataPath_1"), dest);
    EXPECT_EQ(RegistryValue(kGuideKey, "DataPath_0"), source);
    EXPECT_EQ(RegistryValue(kAddressKey, "DataPath_1"), hd / "Address.dbs");
    EXPECT_EQ(RegistryValue(kAddressKey, "DataPath_0"), cd / "Adr_L.dbs");
}
