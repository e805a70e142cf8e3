// GUI tests: a wx application set up around the GoogleTest run, and a
// modal-dialog hook that answers every modal window and records what it
// showed. A modal window nobody expected fails the test and is dismissed,
// so no test can hang on a dialog.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <wx/dialog.h>
#include <wx/modalhook.h>

class ModalRecorder : public wxModalDialogHook {
public:
    struct Shown {
        std::string kind;    // "message", "dir", or the dialog's class name
        std::string text;    // message text (UTF-8)
        std::string caption; // window caption (UTF-8)
        long style = 0;      // wxMessageDialog style
    };

    // An answer: for a message box the button ID (wxID_YES, wxID_NO,
    // wxID_OK); for a folder dialog a path ("" cancels). A custom answer may
    // act on the dialog (e.g. press a button of a modal of our own) and
    // returns the code ShowModal is to return.
    using Custom = std::function<int(wxDialog*)>;

    ModalRecorder();
    ~ModalRecorder() override;

    void AnswerMessage(int id);
    void AnswerDir(const std::string& pathUtf8);
    void AnswerCustom(Custom fn);

    const std::vector<Shown>& shown() const { return m_shown; }
    std::vector<std::string> messages() const;
    void clear() { m_shown.clear(); }

protected:
    int Enter(wxDialog* dlg) override;
    void Exit(wxDialog* dlg) override;

private:
    struct Answer {
        enum { Message, Dir, Custom } kind;
        int id = 0;
        std::string path;
        ModalRecorder::Custom fn;
    };
    std::deque<Answer> m_answers;
    std::vector<Shown> m_shown;
};

// Runs pending events (wxYield plus idle processing) a few times.
void PumpEvents(int rounds = 3);

// A click as the user makes it: only on an enabled control; a radio button
// is checked first. The caller pumps the events it needs.
void ClickControl(wxWindow* parent, int id);

// The guide page's genre lists: the names shown (UTF-8), and a selection
// made as the user makes it.
class CGenreListCtrl;
CGenreListCtrl* GenreList(wxWindow* page, int id);
std::vector<std::string> GenreListItems(wxWindow* page, int id);
void SelectGenres(wxWindow* page, int id, const std::vector<int>& rows);
