#include "shell/installer_app_core.h"

#include "platform/cp932.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "shell/com_server.h"
#include "shell/host_commands.h"

const char* const kProgramName = "Pellvane";

namespace {

CInstallerAppCore* g_pApp = nullptr;

// Machine-wide settings live under HKEY_LOCAL_MACHINE\SOFTWARE; a user who
// cannot change them is told once and may still look around.
void CheckAdministrator()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        return;
    }
    AfxMessageBox(FromUtf8("設定の変更にはAdministrator権限が必要です。\nシステムの管理者にお問い合わせ下さい。"), MB_OK);
}

} // namespace

CInstallerAppCore* AfxGetApp() { return g_pApp; }

CInstallerAppCore::CInstallerAppCore()
    : m_strCommandLine(GetProcessCommandLine())
{
    g_pApp = this;
}

CInstallerAppCore::~CInstallerAppCore()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL CInstallerAppCore::InitInstance()
{
    if (!InitProcess())
        return FALSE;
    RunInstaller();
    return FALSE;
}

BOOL CInstallerAppCore::InitProcess()
{
    // The mutex comes before the command line: a second instance neither
    // registers nor unregisters.
    if (!m_instanceGuard.Acquire(BuildInstanceName(kProgramName).c_str()))
        return FALSE;
    return InitComServer();
}

void CInstallerAppCore::RunInstaller()
{
    CheckAdministrator();
    RunMainDialog();
}

BOOL CInstallerAppCore::InitComServer()
{
    // COM initialisation and the (empty) class table have nothing to do here.
    m_bComServerInited = TRUE;
    switch (FindServerCommand(m_strCommandLine)) {
    case ServerCommand::Unregister:
        UnregisterAppId();
        m_bComServerInited = FALSE;
        return FALSE;
    case ServerCommand::Register:
        RegisterAppId();
        m_bComServerInited = FALSE;
        return FALSE;
    case ServerCommand::None:
        break;
    }
    return TRUE;
}

int CInstallerAppCore::ExitInstance()
{
    m_bComServerInited = FALSE;
    return 0;
}

void CInstallerAppCore::WinHelp(DWORD, UINT)
{
    LaunchHostHelp();
}
