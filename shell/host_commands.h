// Help and version information are the host's: each request creates the
// host's object, makes one call and releases it. Failures are shown here.
#pragma once

// The help hook's work: the quick-launch object shows the help of "Pellvane".
void LaunchHostHelp();

// The about box: the about-dialog object shows the host's version
// information. hwndMain is the main window's handle (0 when there is none).
void ShowHostAboutBox(long hwndMain, long hInstance);
