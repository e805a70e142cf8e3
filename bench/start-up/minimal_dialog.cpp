// The least a wxWidgets program does to show what the installer shows at
// start: a dialog with a two-page notebook, each page two lists and two
// buttons, a label, in Japanese as the installer's are, opened modally from
// OnInit.
#include <wx/app.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/listbox.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

namespace {

wxPanel* Page(wxNotebook* book, const wxString& label)
{
    auto* page = new wxPanel(book);
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    sizer->Add(new wxListBox(page, wxID_ANY), 1, wxEXPAND | wxALL, 6);
    auto* buttons = new wxBoxSizer(wxVERTICAL);
    buttons->Add(new wxButton(page, wxID_ANY, ">>"), 0, wxALL, 4);
    buttons->Add(new wxButton(page, wxID_ANY, "<<"), 0, wxALL, 4);
    sizer->Add(buttons, 0, wxALIGN_CENTER_VERTICAL);
    sizer->Add(new wxListBox(page, wxID_ANY), 1, wxEXPAND | wxALL, 6);
    page->SetSizer(sizer);
    book->AddPage(page, label);
    return page;
}

class MinimalApp : public wxApp {
public:
    bool OnInit() override
    {
        wxDialog dlg(nullptr, wxID_ANY, wxString::FromUTF8("データインストーラ"), wxDefaultPosition, wxSize(520, 400));
        auto* sizer = new wxBoxSizer(wxVERTICAL);
        auto* book = new wxNotebook(&dlg, wxID_ANY);
        Page(book, wxString::FromUTF8("住所データ"));
        Page(book, wxString::FromUTF8("ガイドデータ"));
        sizer->Add(book, 1, wxEXPAND | wxALL, 8);
        sizer->Add(new wxStaticText(&dlg, wxID_ANY, wxString::FromUTF8("空き容量")), 0, wxALL, 8);
        sizer->Add(dlg.CreateButtonSizer(wxOK), 0, wxEXPAND | wxALL, 8);
        dlg.SetSizer(sizer);
        dlg.ShowModal();
        return false;
    }
};

} // namespace

wxIMPLEMENT_APP(MinimalApp);
