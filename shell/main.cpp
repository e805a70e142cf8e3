#include <wx/app.h>
#include <wx/frame.h>

class PlaceholderApp : public wxApp {
public:
    bool OnInit() override
    {
        auto* frame = new wxFrame(nullptr, wxID_ANY, "Pellvane");
        frame->Show();
        return true;
    }
};

wxIMPLEMENT_APP(PlaceholderApp);
