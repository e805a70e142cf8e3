// Dialog templates are laid out in dialog units of "ＭＳ Ｐゴシック" 9 pt.
// These helpers give a window that font and turn template rectangles into
// pixels for it.
#pragma once

#include <wx/gdicmn.h>

class wxWindow;

// Gives the window the dialogs' font (IPAPGothic through the fontconfig alias).
void ApplyDialogFont(wxWindow* window);

// A template rectangle (dialog units) in pixels, for controls of parent.
wxRect DlgRect(wxWindow* parent, int x, int y, int cx, int cy);
wxSize DlgSize(wxWindow* parent, int cx, int cy);
