// Template rectangles in pixels: the pixels are the toolkit's own conversion
// of dialog units for the top-level window's font, whatever font that is and
// however often it changes.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <wx/dialog.h>
#include <wx/font.h>
#include <wx/panel.h>
#include <wx/stattext.h>

#include "gui_support/gui_test_support.h"
#include "platform/dialog_units.h"

namespace {

struct Units {
    int x, y, cx, cy;
};

// Zero, one, odd and even values, the main dialog's largest, and the
// toolkit's "default" coordinate, which stays as it is.
const std::vector<Units> kUnits = {
    {0, 0, 0, 0}, {1, 1, 1, 1}, {5, 2, 263, 180}, {3, 139, 102, 12}, {209, 15, 42, 13}, {-1, 7, 13, -1},
};

wxRect ToolkitRect(wxWindow* window, const Units& u)
{
    return wxRect(window->ConvertDialogToPixels(wxPoint(u.x, u.y)), window->ConvertDialogToPixels(wxSize(u.cx, u.cy)));
}

struct Dialog {
    Dialog()
        : window(new wxDialog(nullptr, wxID_ANY, "units"))
        , page(new wxPanel(window))
    {
    }
    ~Dialog() { window->Destroy(); }
    wxDialog* window;
    wxPanel* page;
};

void ExpectToolkitPixels(wxWindow* window, const char* what)
{
    for (const Units& u : kUnits) {
        SCOPED_TRACE(testing::Message() << what << ": " << u.x << "," << u.y << " " << u.cx << "x" << u.cy);
        EXPECT_EQ(DlgRect(window, u.x, u.y, u.cx, u.cy), ToolkitRect(window, u));
        EXPECT_EQ(DlgSize(window, u.cx, u.cy), window->ConvertDialogToPixels(wxSize(u.cx, u.cy)));
    }
}

TEST(DialogUnits, ArePixelsOfTheTopLevelWindowsFontWhateverItIsAndAfterItChanges)
{
    ModalRecorder modals; // no modal window is expected
    Dialog plain;
    ExpectToolkitPixels(plain.page, "toolkit's font");

    Dialog first, second;
    ApplyDialogFont(first.window);
    ApplyDialogFont(second.window);
    ApplyDialogFont(second.page);
    EXPECT_EQ(first.window->GetFont().GetPointSize(), 9);
    EXPECT_EQ(second.page->GetFont(), first.window->GetFont());
    ExpectToolkitPixels(first.window, "dialog font");
    ExpectToolkitPixels(first.page, "dialog font, a page");
    ExpectToolkitPixels(second.page, "dialog font, a second dialog");

    // A larger font on one dialog: its pixels grow, the other's stay.
    const wxRect before = DlgRect(second.page, 5, 2, 263, 180);
    second.window->SetFont(wxFont(wxFontInfo(20).Family(wxFONTFAMILY_SWISS)));
    ExpectToolkitPixels(second.page, "a larger font");
    EXPECT_GT(DlgRect(second.page, 5, 2, 263, 180).width, before.width);
    ExpectToolkitPixels(first.page, "dialog font after the other changed");
    EXPECT_EQ(DlgRect(first.page, 5, 2, 263, 180), before);

    // And back.
    ApplyDialogFont(second.window);
    EXPECT_EQ(DlgRect(second.page, 5, 2, 263, 180), before);
}

// A template label has its rectangle, its text and the resizing of its style.
TEST(DialogUnits, TemplateLabelsKeepTheirRectangleAndResizeAsTheirStyleSays)
{
    ModalRecorder modals; // no modal window is expected
    Dialog dialog;
    ApplyDialogFont(dialog.window);
    const wxRect rect = DlgRect(dialog.page, 3, 36, 40, 9);
    const wxString longer = wxString::FromUTF8("インストール済みジャンル、インストール済みジャンル(&T):");
    const struct {
        long style;
        bool grows;
    } cases[] = {
        {0, true}, {wxALIGN_RIGHT, true}, {wxST_NO_AUTORESIZE, false}, {wxALIGN_RIGHT | wxST_NO_AUTORESIZE, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style);
        wxStaticText* label =
            NewTemplateLabel(dialog.page, wxID_ANY, wxString::FromUTF8("未インストール(&S):"), rect, c.style);
        EXPECT_EQ(label->GetRect(), rect);
        EXPECT_EQ(label->GetLabel().utf8_string(), "未インストール(&S):");
        EXPECT_EQ(label->GetWindowStyleFlag() & (wxALIGN_RIGHT | wxST_NO_AUTORESIZE), c.style);
        EXPECT_EQ(label->GetFont(), dialog.window->GetFont());
        label->SetLabel(longer);
        EXPECT_EQ(label->GetSize().x > rect.width, c.grows) << label->GetSize().x;
        label->Destroy();
    }
}

} // namespace
