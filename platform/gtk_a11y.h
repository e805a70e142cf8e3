// What screen readers hear, where wxWidgets on GTK gives no call for it.
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
// page window the same name. GTK asks a removed page for its tab label when
// it tells a screen reader about the removal, which fails loudly unless the
// name is already set.
void NameNotebookPages(wxNotebook* tabs);
