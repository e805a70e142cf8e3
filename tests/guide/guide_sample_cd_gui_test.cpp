// The guide data of the sample CD-ROM through the installer's main dialog: a
// first install of three genres with the second cancelled, a removal, and
// the optimisation at close.
#include "guide_page_harness.h"

#include <unistd.h>

#include "platform/registry.h"
#include "shell/installer_dlg.h"

namespace {

class ClosableDlg : public CInstallerDlg {
public:
    CGuidePage& GuidePage() { return m_pageGuide; }
};

} // namespace

TEST(SampleCd, InstallCancelRemoveAndOptimise)
{
    TempDir cd, hd, runtime;
    ScratchRegistry registry;
    const DiskFreeCalls previousCalls = SetDiskFreeCalls({&FakeDiskFreeSpaceEx, nullptr});
    const std::string generator = std::string(PELLVANE_BINARY_DIR) + "/bin/make-sample-cd";
    ASSERT_EQ(access(generator.c_str(), X_OK), 0) << "build make-sample-cd first";
    ASSERT_EQ(std::system(("'" + generator + "' '" + cd.path() +
                           "' --genres 12 --points-per-genre 40 --seed 5 >/dev/null").c_str()), 0);
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    const std::string source = cd / "Guide.dbs", dest = hd / "Guide.dbs";
    SetGuideCdPath(source.c_str());
    SetGuideHdPath(dest.c_str());
    SetAddressCdPath((cd / "Adr_L.dbs").c_str());
    SetAddressHdPath((hd / "Address.dbs").c_str());
    const std::vector<std::string> onCd = GenreNames(source);
    const std::vector<std::string> keys = Query(source, "SELECT L1, L2 FROM Category WHERE L3='0' ORDER BY L1,L2");
    ASSERT_EQ(onCd.size(), 12u);

    ModalRecorder modals;
    modals.AnswerMessage(wxID_OK); // 2039: no guide database on the hard disk yet
    auto dlg = std::make_unique<ClosableDlg>();
    ASSERT_EQ(modals.messages(), std::vector<std::string>{msg::CannotUse(dest)});
    modals.clear();

    modals.AnswerCustom([&](wxDialog* d) {
        d->CallAfter([&, d] {
            PumpEvents();
            CGuidePage& page = dlg->GuidePage();
            auto* notInstalled = dynamic_cast<CGenreListCtrl*>(page.FindWindow(1030));
            auto* installed = dynamic_cast<CGenreListCtrl*>(page.FindWindow(1060));
            auto* progress = dynamic_cast<CProgressDlg*>(wxWindow::FindWindowById(CProgressDlg::IDD));
            if (!notInstalled || !installed || !progress) {
                ADD_FAILURE() << "a list or the progress dialog is missing";
                return d->EndModal(wxID_CANCEL);
            }
            EXPECT_EQ(Items(notInstalled), onCd);
            CancellingSink sink(progress, 2, 3);
            page.SetProgressSink(&sink);
            Select(notInstalled, {0, 1, 2});
            Click(&page, 1070);
            page.SetProgressSink(nullptr);
            EXPECT_EQ(Items(installed), (std::vector<std::string>{onCd[0], onCd[2]}));

            Select(installed, {0});
            Click(&page, 1080);
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
    SetDiskFreeCalls(previousCalls);

    EXPECT_EQ(modals.messages(), (std::vector<std::string>{msg::kAskOptimise, msg::kOptimised}));
    // Exactly the third genre, with its group row and all its rows.
    EXPECT_EQ(GenreNames(dest), std::vector<std::string>{onCd[2]});
    const std::string l1 = keys[2].substr(0, keys[2].find('|')), l2 = keys[2].substr(keys[2].find('|') + 1);
    const std::string genre = " WHERE L1='" + l1 + "' AND L2='" + l2 + "'";
    for (const std::string& rows : {"Category" + genre, "Point" + genre, std::string("Point"), "Category WHERE L2='0' AND L1='" + l1 + "'"})
        EXPECT_EQ(RowCount(dest, rows), RowCount(source, rows == "Point" ? "Point" + genre : rows)) << rows;
    EXPECT_EQ(GroupRows(dest), std::vector<std::string>{l1});
    EXPECT_EQ(IntegrityCheck(dest), "ok");
    EXPECT_EQ(ListDir(hd.path()), std::vector<std::string>{"Guide.dbs"});

    const struct {
        const char *key, *name;
        std::string value;
    } paths[] = {{kGuideKey, "DataPath_1", dest}, {kGuideKey, "DataPath_0", source},
                 {kAddressKey, "DataPath_1", hd / "Address.dbs"}, {kAddressKey, "DataPath_0", cd / "Adr_L.dbs"}};
    for (const auto& p : paths)
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, p.key, p.name), p.value) << p.key << " " << p.name;
}
