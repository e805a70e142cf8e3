#include "platform/dialog_units.h"

#include <gtk/gtk.h>

#include <map>
#include <utility>

#include <wx/font.h>
#include <wx/math.h>
#include <wx/stattext.h>
#include <wx/toplevel.h>
#include <wx/window.h>

void ApplyDialogFont(wxWindow* window)
{
    // One font object for every window. Setting a font compares it with the
    // window's own, inherited one; two distinct objects are compared by
    // measuring text in each, the same object is not.
    static const wxFont* const font = [] {
        wxFont f(wxFontInfo(9).FaceName(wxString::FromUTF8("ＭＳ Ｐゴシック")));
        if (!f.IsOk())
            f = wxFont(wxFontInfo(9).Family(wxFONTFAMILY_SWISS));
        return new wxFont(f);
    }();
    window->SetFont(*font);
}

namespace {

// The resolution text is laid out at, which the desktop's text scaling may
// change while the program runs.
int TextResolution()
{
    gint dpi = 0;
    if (GtkSettings* settings = gtk_settings_get_default())
        g_object_get(settings, "gtk-xft-dpi", &dpi, nullptr);
    return dpi;
}

// What a dialog unit is in pixels for controls of parent: a quarter of the
// average width and an eighth of the height of the letters in its top-level
// window's font. The toolkit measures those letters again for every
// conversion when that font is not its default one; the result depends only
// on the font and the text resolution, so it is kept for each pair.
wxSize DlgUnitBase(wxWindow* parent)
{
    const wxWindow* top = wxGetTopLevelParent(parent);
    if (!top)
        return parent->ConvertDialogToPixels(wxSize(4, 8));
    static std::map<std::pair<wxString, int>, wxSize> bases;
    const auto key = std::make_pair(top->GetFont().GetNativeFontInfoDesc(), TextResolution());
    auto it = bases.find(key);
    if (it == bases.end())
        it = bases.emplace(key, parent->ConvertDialogToPixels(wxSize(4, 8))).first;
    return it->second;
}

// The toolkit's own rounding, so that the pixels are the ones it would give.
int DlgToPixels(int units, int base, int unitsPerBase)
{
    return units == wxDefaultCoord ? wxDefaultCoord : wxMulDivInt32(units, base, unitsPerBase);
}

} // namespace

wxRect DlgRect(wxWindow* parent, int x, int y, int cx, int cy)
{
    const wxSize base = DlgUnitBase(parent);
    return wxRect(DlgToPixels(x, base.x, 4), DlgToPixels(y, base.y, 8), DlgToPixels(cx, base.x, 4),
                  DlgToPixels(cy, base.y, 8));
}

wxSize DlgSize(wxWindow* parent, int cx, int cy)
{
    const wxSize base = DlgUnitBase(parent);
    return wxSize(DlgToPixels(cx, base.x, 4), DlgToPixels(cy, base.y, 8));
}

wxStaticText* NewTemplateLabel(wxWindow* parent, int id, const wxString& text, const wxRect& rect, long style)
{
    // The rectangle gives the size: made without sizing itself to its text,
    // the label is measured first when the window lays it out.
    auto* label = new wxStaticText(parent, id, text, rect.GetPosition(), rect.GetSize(), style | wxST_NO_AUTORESIZE);
    if (!(style & wxST_NO_AUTORESIZE))
        label->SetWindowStyleFlag(label->GetWindowStyleFlag() & ~wxST_NO_AUTORESIZE);
    return label;
}
