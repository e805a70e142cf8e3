// Dialog templates are laid out in dialog units of "ＭＳ Ｐゴシック" 9 pt.
// These helpers give a window that font and turn template rectangles into
// pixels for it.
#pragma once

#include <wx/gdicmn.h>
#include <wx/string.h>

class wxStaticText;
class wxWindow;

// Gives the window the dialogs' font (IPAPGothic through the fontconfig alias).
void ApplyDialogFont(wxWindow* window);

// A template rectangle (dialog units) in pixels, for controls of parent.
wxRect DlgRect(wxWindow* parent, int x, int y, int cx, int cy);
wxSize DlgSize(wxWindow* parent, int cx, int cy);

// A label of parent at a template rectangle (pixels), with style. Its text is
// measured once it has the dialog font, not before: a new label would
// otherwise be sized to its text in the toolkit's own font first, and the
// first Japanese text measured in that font loads that font's fallbacks for
// Japanese, which no window needs. Later changes of the text resize the
// label as usual unless style has wxST_NO_AUTORESIZE.
wxStaticText* NewTemplateLabel(wxWindow* parent, int id, const wxString& text, const wxRect& rect, long style = 0);
