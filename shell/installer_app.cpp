#include "shell/installer_app.h"

#include <wx/log.h>

#include "guide/source_genre_prefetch.h"
#include "platform/wx_hooks.h"
#include "settings/directory_settings.h"
#include "shell/installer_dlg.h"

CInstallerApp::CInstallerApp() = default;

bool CInstallerApp::Initialize(int& argcInOut, wxChar** argvIn)
{
    // Without a display the toolkit's complaint cannot be a message box
    // (showing one there aborts the process): it goes to standard error.
    wxLogStderr toStderr;
    wxLog* previous = wxLog::SetActiveTarget(&toStderr);
    const bool ok = wxApp::Initialize(argcInOut, argvIn);
    wxLog::SetActiveTarget(previous);
    return ok;
}

bool CInstallerApp::OnInit()
{
    UseEnvironmentLocale(StockTexts::WhenIdle);
    // The source's genres for the guide page's first fill are read on a
    // thread of its own while the main dialog is being made.
    TheSourceGenrePrefetch().Start(PeekGuideCdPath());
    InstallWxMessageBoxHandler();
    InstallWxWaitCursorHooks();
    RunInstaller();
    // Returning true lets OnExit (ExitInstance) run; OnRun then ends at once.
    return true;
}

int CInstallerApp::OnRun()
{
    return 0;
}

int CInstallerApp::OnExit()
{
    TheSourceGenrePrefetch().Finish();
    ExitInstance();
    return wxApp::OnExit();
}

void CInstallerApp::RunMainDialog()
{
    RunInstallerDialog();
}

int CInstallerApp::Main(int argc, char** argv)
{
    auto* app = new CInstallerApp;
    wxApp::SetInstance(app);
    if (!app->InitProcess()) {
        app->ExitInstance();
        wxApp::SetInstance(nullptr);
        delete app;
        return 0;
    }
    // wxEntry takes the application object over and deletes it at the end,
    // which releases the instance guard.
    const int status = wxEntry(argc, argv);
    return status < 0 ? 1 : status;
}
