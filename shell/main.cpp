// The installer's entry point. The application object is made here rather
// than by wxIMPLEMENT_APP's main(), so that the single-instance check and
// the registration words run before the toolkit needs a display.
#include "shell/installer_app.h"

wxIMPLEMENT_APP_NO_MAIN(CInstallerApp);

int main(int argc, char** argv)
{
    return CInstallerApp::Main(argc, argv);
}
