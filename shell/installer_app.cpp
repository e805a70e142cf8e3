#include "shell/installer_app.h"

#include "platform/wx_hooks.h"
#include "shell/installer_dlg.h"

CInstallerApp::CInstallerApp() = default;

bool CInstallerApp::OnInit()
{
    UseEnvironmentLocale();
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
