#include "platform/dialog_units.h"

#include <wx/font.h>
#include <wx/window.h>

void ApplyDialogFont(wxWindow* window)
{
    wxFont font(wxFontInfo(9).FaceName(wxString::FromUTF8("ＭＳ Ｐゴシック")));
    if (!font.IsOk())
        font = wxFont(wxFontInfo(9).Family(wxFONTFAMILY_SWISS));
    window->SetFont(font);
}

wxRect DlgRect(wxWindow* parent, int x, int y, int cx, int cy)
{
    const wxPoint pos = parent->ConvertDialogToPixels(wxPoint(x, y));
    const wxSize size = parent->ConvertDialogToPixels(wxSize(cx, cy));
    return wxRect(pos, size);
}

wxSize DlgSize(wxWindow* parent, int cx, int cy)
{
    return parent->ConvertDialogToPixels(wxSize(cx, cy));
}
