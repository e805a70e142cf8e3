// The application object on wxWidgets. main() runs the steps that need no
// display (single instance, registration words) before the toolkit starts,
// so a second instance or a registration ends without a display; OnInit
// runs the rest (administrator warning, main dialog) and the run is over
// when it returns: the framework's main loop never runs.
#pragma once

#include <wx/app.h>

#include "shell/installer_app_core.h"

class CInstallerApp : public wxApp, public CInstallerAppCore {
public:
    CInstallerApp();

    bool Initialize(int& argcInOut, wxChar** argvIn) override;
    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;

    // The program: InitProcess, then the toolkit and OnInit. Returns the
    // process's exit status.
    static int Main(int argc, char** argv);

protected:
    void RunMainDialog() override;
};

wxDECLARE_APP(CInstallerApp);
