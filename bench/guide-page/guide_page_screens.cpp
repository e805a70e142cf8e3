// Draws the documentation screenshots: the guide page with both lists filled
// and the progress dialog during a copy. Run under an X server:
//   xvfb-run -a -s '-screen 0 1024x768x24' guide-page-screens OUTDIR [CDDIR HDDIR]
// writes OUTDIR/guide-page.png and OUTDIR/progress-dialog.png (ImageMagick's
// import takes the screen, convert crops it). The databases go to CDDIR and
// HDDIR (folders a user would have, such as /media/cdrom and a folder in the
// home), else to a scratch folder.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/init.h>
#include <wx/utils.h>

#include "guide/genre_list_ctrl.h"
#include "guide/guide_page.h"
#include "guide_fixture.h"
#include "platform/message_box.h"
#include "platform/wx_hooks.h"
#include "res/strings.h"
#include "services/progress_dlg.h"
#include "settings/directory_settings.h"

namespace fs = std::filesystem;

namespace {

class ShownPage : public CGuidePage {
public:
    using CGuidePage::m_listInstalled;
    using CGuidePage::m_listNotInstalled;
    using CGuidePage::m_progressDlg;

    void Select(CGenreListCtrl* list, std::vector<int> rows)
    {
        for (int row : rows)
            list->SelectRow(static_cast<unsigned>(row));
        wxDataViewEvent event(wxEVT_DATAVIEW_SELECTION_CHANGED, list, wxDataViewItem());
        list->ProcessWindowEvent(event);
    }
};

void Pump(int ms)
{
    for (int waited = 0; waited < ms; waited += 20) {
        wxTheApp->ProcessPendingEvents();
        wxYield();
        wxMilliSleep(20);
    }
}

bool Capture(const wxRect& rect, const std::string& out)
{
    const std::string whole = out + ".screen.png";
    const std::string grab = "import -window root '" + whole + "'";
    char crop[128];
    std::snprintf(crop, sizeof crop, "%dx%d+%d+%d", rect.width, rect.height, rect.x, rect.y);
    const std::string cut = "convert '" + whole + "' -crop " + crop + " +repage '" + out + "'";
    const bool ok = std::system(grab.c_str()) == 0 && std::system(cut.c_str()) == 0;
    fs::remove(whole);
    return ok;
}

int Run(const std::string& outDir, std::string cdDir, std::string hdDir)
{
    const std::string work = fs::temp_directory_path() / ("guide-page-screens-" + std::to_string(getpid()));
    if (cdDir.empty() || hdDir.empty()) {
        cdDir = work + "/cd";
        hdDir = work + "/hd";
    }
    fs::create_directories(work);
    fs::create_directories(cdDir);
    fs::create_directories(hdDir);
    setenv("TESSRA_REGISTRY_DIR", work.c_str(), 1);
    const std::string source = cdDir + "/Guide.dbs";
    const std::string dest = hdDir + "/Guide.dbs";

    const char* const names[][2] = {
        {"レストラン", "01010000"},     {"ファストフード", "01020000"}, {"喫茶店", "01030000"},
        {"コンビニエンスストア", "02010000"}, {"スーパーマーケット", "02020000"}, {"ガソリンスタンド", "03010000"},
        {"駐車場", "03020000"},         {"銀行", "04010000"},          {"郵便局", "04020000"},
        {"病院", "05010000"},           {"表示灯・案内所", "05020000"},  {"ホテル", "06010000"},
        {"旅館", "06020000"},           {"駅", "07010000"},            {"公園", "08010000"},
        {"学校", "09010000"},
    };
    std::vector<FixtureGenre> all;
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        all.push_back({std::to_string(i / 3 + 1), std::to_string(i % 3 + 1), names[i][0], 400 + 150 * static_cast<int>(i), names[i][1]});
    std::vector<FixtureGenre> installed = {all[0], all[7], all[9], all[13]};
    MakeGuideDb(source, all);
    MakeGuideDb(dest, installed);
    SetGuideCdPath(source.c_str());
    SetGuideHdPath(dest.c_str());

    wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "Pellvane", wxPoint(40, 40), wxDefaultSize, wxBORDER_NONE);
    auto* page = new ShownPage;
    page->Create(frame);
    page->SetMainDialog(frame);
    frame->SetClientSize(page->GetSize());
    frame->Show();
    page->Select(page->m_listNotInstalled, {1, 3, 4});
    page->Select(page->m_listInstalled, {2});
    Pump(600);
    bool ok = Capture(frame->GetScreenRect(), outDir + "/guide-page.png");

    CProgressDlg* dlg = page->m_progressDlg;
    dlg->SetCaption(LoadResString(2027));
    dlg->Move(frame->GetScreenRect().GetRight() + 40, 80);
    dlg->Show();
    dlg->StartCopyAnimation();
    dlg->SetText(FormatResString(2028, FromUtf8("コンビニエンスストア")));
    dlg->SetRange(0, 261);
    dlg->SetPos(0);
    dlg->SetStep(1);
    for (int i = 0; i < 112; ++i)
        dlg->PumpAndStep();
    Pump(700);
    ok = Capture(dlg->GetScreenRect(), outDir + "/progress-dialog.png") && ok;
    dlg->StopAnimation();
    dlg->Hide();

    frame->Destroy();
    fs::remove(source);
    fs::remove(dest);
    fs::remove_all(work);
    return ok ? 0 : 1;
}

class ScreensApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: guide-page-screens OUTDIR [CDDIR HDDIR]\n");
        return 2;
    }
    wxApp::SetInstance(new ScreensApp);
    if (!wxEntryStart(argc, argv)) {
        std::fprintf(stderr, "cannot initialise wxWidgets (run under xvfb-run)\n");
        return 1;
    }
    wxTheApp->CallOnInit();
    InstallWxWaitCursorHooks();
    SetMessageBoxHandler([](const std::string& text, UINT) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return IDOK;
    });
    const int rc = Run(fs::absolute(argv[1]).string(), argc == 4 ? argv[2] : "", argc == 4 ? argv[3] : "");
    wxTheApp->OnExit();
    wxEntryCleanup();
    return rc;
}
