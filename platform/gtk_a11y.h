// What screen readers hear and what tooltips show, where wxWidgets on GTK
// gives no call for it.
#pragma once

class wxNotebook;
class wxString;
class wxWindow;

// Message boxes are announced by their caption (the application name), not
// by GTK's word for their kind ("Information", "Question").
void AnnounceMessageBoxesByCaption();

// The accessible name of the control the keyboard reaches in window.
void SetAccessibleName(wxWindow* window, const wxString& name);

// Gives each page tab of tabs its text as a fixed accessible name, and each
// page window the same name.
void NameNotebookPages(wxNotebook* tabs);

// To be called before tabs is destroyed: GTK asks each removed page for its
// tab label when it tells a screen reader about the removal, which fails
// loudly once the page is gone, unless the tabs are no longer shown.
void HideNotebookTabs(wxNotebook* tabs);

// Names every text field, list and tab row under root that has none after the
// label beside it (left on its row, else just above), else after its tooltip,
// as a screen reader on the system the dialogs come from would call them.
void NameUnlabelledControls(wxWindow* root);

// Disabled controls under root show no tooltip, as on the system the dialogs
// come from (a disabled window gets no mouse messages).
void NoToolTipsOnDisabledControls(wxWindow* root);

// Looks again at the tooltip under the pointer: one whose control has since
// been disabled goes. Called after work that enabled or disabled controls.
void RecheckToolTips();
