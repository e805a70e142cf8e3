// CProgressDlg: the modeless progress dialog (template 220) in front of the
// guide page's long work: an animation for the kind of work, a line of text,
// a progress bar, and a cancel button that only sets m_bCancel. The work runs
// on the user-interface thread and calls PumpAndStep after each row, which
// keeps every window of the program alive.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include <wx/dialog.h>

#include "platform/win_types.h"
#include "services/progress_sink.h"

class wxButton;
class wxGauge;
class wxStaticText;
class wxEventLoopBase;
class CAnimateCtrl;

class CProgressDlg : public wxDialog, public CProgressSink {
public:
    enum { IDD = 220 };
    enum : int { IDC_PROGRESS = 1150, IDC_TEXT = 1160, IDC_ANIMATE = 1170, IDC_CANCEL_BUTTON = 1042 };
    enum : UINT { IDR_AVI_COPY = 330, IDR_AVI_REMOVE = 340 };

    CProgressDlg();
    ~CProgressDlg() override;

    // Creates the window, hidden, centred on the screen. The parent only
    // keeps the dialog above the installer's window; it may be null.
    bool Create(wxWindow* pParent = nullptr);

    void SetCaption(const std::string& textCp932);
    void StartCopyAnimation();
    void StartRemoveAnimation();
    void StopAnimation();
    void SetText(const std::string& textCp932);

    void SetRange(int nLower, int nUpper) override;
    void SetPos(int nPos) override;
    void SetStep(int nStep) override;
    int PumpAndStep() override;

    // The bar's position (PBM_GETPOS).
    int GetPos() const { return m_nPos; }

    void OnCancelButton(wxCommandEvent& event);

    wxButton* m_btnCancel = nullptr;
    CAnimateCtrl* m_animate = nullptr;
    wxGauge* m_progress = nullptr;
    wxStaticText* m_staticText = nullptr;
    std::string m_strText; // CP932

private:
    void StartAnimation(UINT nID);
    void DispatchWaiting();
    int StepIt();
    void ShowPos();
    void OnClose(wxCloseEvent& event);

    // The bar's state is kept here, so that a step costs an addition; the
    // gauge is redrawn only when its filled part would change, and while it
    // steps at most every few tens of milliseconds.
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;
    int m_nStep = 10;
    long m_nShownTick = -1;

    // When PumpAndStep looks at the system's queue, and redraws the bar, next.
    std::chrono::steady_clock::time_point m_nextLook;
    std::chrono::steady_clock::time_point m_nextShow;
    // Dispatches for PumpAndStep when no event loop is running.
    std::unique_ptr<wxEventLoopBase> m_pumpLoop;
};
