// The guide and address pages on real media: a CD-ROM folder and a hard-disk
// folder, each of which a test may mount (read-only, or a small tmpfs), the
// pages opened on them with every modal window answered and recorded.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>

#include "address/address_page.h"
#include "gui_support/gui_test_support.h"
#include "guide/genre_list_ctrl.h"
#include "guide/guide_page.h"
#include "guide/guide_fixture.h"
#include "platform/cp932.h"
#include "res/strings.h"
#include "settings/directory_settings.h"
#include "media/media_files.h"
#include "support/test_mount.h"
#include "support/test_support.h"

namespace media {

using Names = std::vector<std::string>;

// The guide page's controls (template 151).
enum {
    kNotInstalled = CGuidePage::IDC_NOT_INSTALLED_LIST, kInstalled = CGuidePage::IDC_INSTALLED_LIST,
    kInstall = CGuidePage::IDC_INSTALL, kRemove = CGuidePage::IDC_REMOVE,
    kNotInstalledSize = CGuidePage::IDC_NOT_INSTALLED_SIZE, kInstalledSize = CGuidePage::IDC_INSTALLED_SIZE
};

class PagesTest : public ::testing::Test {
protected:
    PagesTest() { m_main->Show(); }
    ~PagesTest() override
    {
        m_main->Destroy();
        PumpEvents();
    }

    void OpenGuidePage()
    {
        SetGuideCdPath(source.c_str());
        SetGuideHdPath(dest.c_str());
        guide = new CGuidePage;
        ASSERT_TRUE(guide->Create(m_main));
        guide->SetMainDialog(m_main);
        guide->Show();
        PumpEvents();
    }
    void OpenAddressPage()
    {
        SetAddressCdPath((cd / "Adr_L.dbs").c_str());
        SetAddressHdPath((hd / "Address.dbs").c_str());
        address = new CAddressPage;
        ASSERT_TRUE(address->Create(m_main));
        address->SetMainDialog(m_main);
        PumpEvents();
    }

    Names Items(int id) { return GenreListItems(guide, id); }
    void Select(int id, const std::vector<int>& rows) { SelectGenres(guide, id, rows); }
    void Click(wxWindow* page, int id)
    {
        ClickControl(page, id);
        PumpEvents();
    }
    std::string Label(int id) { return guide->FindWindow(id)->GetLabel().utf8_string(); }
    // Presses the address page's apply, answering its message boxes in turn.
    Names Apply(const std::vector<int>& answers)
    {
        modals.clear();
        for (int answer : answers)
            modals.AnswerMessage(answer);
        Click(address, CAddressPage::IDC_APPLY);
        return modals.messages();
    }

    // Mounts, or marks the test skipped and gives null (the test then returns).
    std::unique_ptr<TestMount> MountReadOnly(const std::string& folder)
    {
        std::string why;
        auto m = TestMount::ReadOnly(folder, why);
        if (!m)
            SkipFor(why);
        return m;
    }
    std::unique_ptr<TestMount> MountTmpfs(const std::string& folder, unsigned long long bytes)
    {
        std::string why;
        auto m = TestMount::Tmpfs(folder, bytes, why);
        if (!m)
            SkipFor(why);
        return m;
    }
    static void SkipFor(const std::string& why) { GTEST_SKIP() << "no real media here: " << why; }

    TempDir cd, hd;
    ScratchRegistry registry;
    std::string source = cd / "Guide.dbs", dest = hd / "Guide.dbs";
    ModalRecorder modals;
    wxDialog* m_main = new wxDialog(nullptr, wxID_ANY, "Pellvane");
    CGuidePage* guide = nullptr;
    CAddressPage* address = nullptr;
};

} // namespace media
