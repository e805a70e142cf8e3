// The application object apart from its windows: the single instance, the
// server words of the command line, the administrator warning, the order of
// start-up and the help hook. CInstallerApp (installer_app.h) puts it on
// wxWidgets; the main dialog is the one step it leaves to its subclass.
#pragma once

#include <string>

#include "platform/win_types.h"
#include "shell/instance_guard.h"

// The program's name towards the host: the instance name and the help hook
// use it, and it is the executable's name.
extern const char* const kProgramName; // "Pellvane"

enum : UINT {
    HELP_CONTEXT = 0x0001,
    ID_HELP = 57670, // the framework's help command
};

class CInstallerAppCore {
public:
    CInstallerAppCore();
    virtual ~CInstallerAppCore();
    CInstallerAppCore(const CInstallerAppCore&) = delete;
    CInstallerAppCore& operator=(const CInstallerAppCore&) = delete;

    // The whole start-up: InitProcess, then RunInstaller. Always FALSE: the
    // run is over when it returns.
    BOOL InitInstance();

    // The steps that need no display: the instance guard, then the COM
    // server and its command-line words. FALSE ends the run quietly (another
    // instance runs, or the run was a registration).
    BOOL InitProcess();
    // The administrator check, then the main dialog, modal.
    void RunInstaller();

    BOOL InitComServer();
    // Undoes the COM-server start-up when it is still in force. Returns 0.
    virtual int ExitInstance();

    // The help hook: both arguments are ignored.
    virtual void WinHelp(DWORD dwData, UINT nCmd);

    BOOL m_bComServerInited = FALSE;
    CInstanceGuard m_instanceGuard;
    // The full command line, program path included (GetProcessCommandLine).
    std::string m_strCommandLine;

protected:
    virtual void RunMainDialog() = 0;
};

// The one application object (null before it is constructed).
CInstallerAppCore* AfxGetApp();
