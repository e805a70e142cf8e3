#include "gui_support/gui_test_support.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/dirdlg.h>
#include <wx/init.h>
#include <wx/msgdlg.h>
#include <wx/radiobut.h>

#include "guide/genre_list_ctrl.h"
#include "platform/wx_hooks.h"

ModalRecorder::ModalRecorder()
{
    Register();
}

ModalRecorder::~ModalRecorder()
{
    Unregister();
    EXPECT_TRUE(m_answers.empty()) << m_answers.size() << " expected modal window(s) were not shown";
}

void ModalRecorder::AnswerMessage(int id)
{
    m_answers.push_back({Answer::Message, id, {}, {}});
}

void ModalRecorder::AnswerDir(const std::string& pathUtf8)
{
    m_answers.push_back({Answer::Dir, 0, pathUtf8, {}});
}

void ModalRecorder::AnswerCustom(Custom fn)
{
    m_answers.push_back({Answer::Custom, 0, {}, std::move(fn)});
}

std::vector<std::string> ModalRecorder::messages() const
{
    std::vector<std::string> out;
    for (const auto& s : m_shown)
        if (s.kind == "message")
            out.push_back(s.text);
    return out;
}

int ModalRecorder::Enter(wxDialog* dlg)
{
    Shown shown;
    shown.caption = dlg->GetTitle().utf8_string();
    if (auto* msg = dynamic_cast<wxMessageDialog*>(dlg)) {
        shown.kind = "message";
        shown.text = msg->GetMessage().utf8_string();
        shown.caption = msg->GetCaption().utf8_string();
        shown.style = msg->GetMessageDialogStyle();
    } else if (auto* dir = dynamic_cast<wxDirDialog*>(dlg)) {
        shown.kind = "dir";
        shown.text = dir->GetMessage().utf8_string();
    } else {
        shown.kind = dlg->GetClassInfo() ? wxString(dlg->GetClassInfo()->GetClassName()).utf8_string() : "dialog";
    }
    m_shown.push_back(shown);

    if (m_answers.empty()) {
        ADD_FAILURE() << "unexpected modal " << shown.kind << ": " << shown.text;
        return (shown.kind == "message" && (shown.style & wxYES_NO)) ? wxID_NO : wxID_CANCEL;
    }
    Answer a = std::move(m_answers.front());
    m_answers.pop_front();
    switch (a.kind) {
    case Answer::Message:
        EXPECT_EQ(shown.kind, "message") << "expected a message box, got " << shown.kind;
        return a.id;
    case Answer::Dir:
        EXPECT_EQ(shown.kind, "dir") << "expected a folder dialog, got " << shown.kind << ": " << shown.text;
        if (auto* dir = dynamic_cast<wxDirDialog*>(dlg)) {
            if (a.path.empty())
                return wxID_CANCEL;
            dir->SetPath(wxString::FromUTF8(a.path));
            return wxID_OK;
        }
        return wxID_CANCEL;
    case Answer::Custom:
        return a.fn(dlg);
    }
    return wxID_CANCEL;
}

void ModalRecorder::Exit(wxDialog*)
{
}

void PumpEvents(int rounds)
{
    for (int i = 0; i < rounds; ++i) {
        wxTheApp->ProcessPendingEvents();
        wxYield();
        while (wxTheApp->Pending())
            wxTheApp->Dispatch();
        wxTheApp->ProcessIdle();
    }
}

void ClickControl(wxWindow* parent, int id)
{
    wxWindow* w = parent->FindWindow(id);
    ASSERT_TRUE(w && w->IsEnabled()) << "control " << id << " is missing or disabled";
    auto* radio = dynamic_cast<wxRadioButton*>(w);
    if (radio)
        radio->SetValue(true);
    wxCommandEvent event(radio ? wxEVT_RADIOBUTTON : wxEVT_BUTTON, id);
    event.SetEventObject(w);
    w->ProcessWindowEvent(event);
}

CGenreListCtrl* GenreList(wxWindow* page, int id)
{
    return dynamic_cast<CGenreListCtrl*>(page->FindWindow(id));
}

std::vector<std::string> GenreListItems(wxWindow* page, int id)
{
    std::vector<std::string> names;
    for (int i = 0; i < GenreList(page, id)->GetItemCount(); ++i)
        names.push_back(GenreList(page, id)->GetItemText(i));
    return names;
}

void SelectGenres(wxWindow* page, int id, const std::vector<int>& rows)
{
    CGenreListCtrl* list = GenreList(page, id);
    list->UnselectAll();
    for (int row : rows)
        list->SelectRow(static_cast<unsigned>(row));
    wxDataViewEvent event(wxEVT_DATAVIEW_SELECTION_CHANGED, list, wxDataViewItem());
    list->ProcessWindowEvent(event);
}

namespace {
class TestApp : public wxApp {
public:
    bool OnInit() override { return true; }
    // Failed wx assertions fail the test instead of showing a dialog.
    void OnAssertFailure(const wxChar* file, int line, const wxChar* func, const wxChar* cond,
                         const wxChar* msg) override
    {
        ADD_FAILURE() << "wx assertion " << wxString(cond).utf8_string() << " " << wxString(msg).utf8_string()
                      << " at " << wxString(file).utf8_string() << ":" << line;
    }
};
} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new TestApp);
    if (!wxEntryStart(argc, argv)) {
        fprintf(stderr, "cannot initialise wxWidgets (is there a display?)\n");
        return 1;
    }
    wxTheApp->CallOnInit();
    UseEnvironmentLocale();
    InstallWxMessageBoxHandler();
    InstallWxWaitCursorHooks();
    int rc = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return rc;
}
