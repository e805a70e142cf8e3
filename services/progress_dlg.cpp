#include "services/progress_dlg.h"

#include <algorithm>
#include <chrono>

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/button.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/stattext.h>

#include "platform/cp932.h"
#include "platform/dialog_units.h"
#include "platform/animation_ui.h"
#include "platform/wx_text.h"

namespace {

// The gauge is drawn in at most this many steps, whatever the range.
constexpr long kGaugeTicks = 1000;

constexpr std::chrono::milliseconds kLookInterval(5);

// And the bar is redrawn at most this often while it steps: every redraw
// costs the window system a frame, far more than a row.
constexpr std::chrono::milliseconds kShowInterval(50);

} // namespace

CProgressDlg::CProgressDlg() = default;

CProgressDlg::~CProgressDlg() = default;

bool CProgressDlg::Create(wxWindow* pParent)
{
    // A caption and a frame, no system menu and no close box.
    if (!wxDialog::Create(pParent, IDD, WxFromUtf8("データをインストールしています..."), wxDefaultPosition,
                          wxDefaultSize, wxCAPTION))
        return false;
    ApplyDialogFont(this);
    SetClientSize(DlgSize(this, 250, 99));

    const wxRect bar = DlgRect(this, 7, 73, 191, 9);
    m_progress = new wxGauge(this, IDC_PROGRESS, 100, bar.GetPosition(), bar.GetSize(), wxGA_HORIZONTAL);
    const wxRect text = DlgRect(this, 7, 58, 236, 11);
    m_staticText = new wxStaticText(this, IDC_TEXT, wxString(), text.GetPosition(), text.GetSize(),
                                    wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    m_animate = new CAnimateCtrl;
    m_animate->Create(this, IDC_ANIMATE, DlgRect(this, 7, 8, 236, 36), ACS_TRANSPARENT | ACS_AUTOPLAY);
    const wxRect button = DlgRect(this, 202, 72, 41, 13);
    m_btnCancel = new wxButton(this, IDC_CANCEL_BUTTON, WxFromUtf8("キャンセル"), button.GetPosition(),
                               button.GetSize());

    Bind(wxEVT_BUTTON, &CProgressDlg::OnCancelButton, this, IDC_CANCEL_BUTTON);
    // The dialog never closes itself while work runs behind it: Esc and a
    // close request from the window manager do what the cancel button does
    // (set m_bCancel, nothing else), and Enter does nothing unless the cancel
    // button has the focus. Only the owner hides the dialog.
    SetEscapeId(IDC_CANCEL_BUTTON);
    SetAffirmativeId(wxID_NONE);
    Bind(wxEVT_CLOSE_WINDOW, &CProgressDlg::OnClose, this);

    m_nShownTick = -1;
    ShowPos();
    Centre();
    return true;
}

void CProgressDlg::SetCaption(const std::string& textCp932)
{
    SetTitle(WxFromCp932(textCp932));
}

void CProgressDlg::StartAnimation(UINT nID)
{
    m_animate->Open(nID);
    m_animate->Play(0, 0xFFFF, static_cast<UINT>(-1));
}

void CProgressDlg::StartCopyAnimation()
{
    m_bCancel = FALSE;
    StartAnimation(IDR_AVI_COPY);
    m_progress->Enable(true);
}

void CProgressDlg::StartRemoveAnimation()
{
    StartAnimation(IDR_AVI_REMOVE);
    m_progress->Enable(false);
}

void CProgressDlg::StopAnimation()
{
    m_animate->Close();
}

void CProgressDlg::SetText(const std::string& textCp932)
{
    m_strText = textCp932;
    // Shown as it stands: an "&" in a genre name is not a mnemonic.
    m_staticText->SetLabelText(WxFromCp932(m_strText));
}

void CProgressDlg::SetRange(int nLower, int nUpper)
{
    m_nLower = nLower;
    m_nUpper = nUpper;
    m_nPos = std::clamp(m_nPos, std::min(nLower, nUpper), std::max(nLower, nUpper));
    m_nShownTick = -1;
    ShowPos();
}

void CProgressDlg::SetPos(int nPos)
{
    m_bCancel = FALSE;
    m_nextLook = {};
    m_nPos = std::clamp(nPos, std::min(m_nLower, m_nUpper), std::max(m_nLower, m_nUpper));
    ShowPos();
}

void CProgressDlg::SetStep(int nStep)
{
    m_nStep = nStep;
}

// As the common progress bar steps: past either end, the position starts
// over from the other.
int CProgressDlg::StepIt()
{
    const int previous = m_nPos;
    const long long next = static_cast<long long>(m_nPos) + m_nStep;
    if (next > m_nUpper)
        m_nPos = m_nLower;
    else if (next < m_nLower)
        m_nPos = m_nUpper;
    else
        m_nPos = static_cast<int>(next);
    return previous;
}

void CProgressDlg::ShowPos()
{
    const long long span = static_cast<long long>(m_nUpper) - m_nLower;
    const long ticks = span <= 0 ? 1 : static_cast<long>(std::min<long long>(span, kGaugeTicks));
    const long tick = span <= 0 ? 0 : static_cast<long>((static_cast<long long>(m_nPos) - m_nLower) * ticks / span);
    if (tick == m_nShownTick)
        return;
    if (m_nShownTick < 0 || m_progress->GetRange() != ticks)
        m_progress->SetRange(static_cast<int>(ticks));
    m_progress->SetValue(static_cast<int>(tick));
    m_nShownTick = tick;
}

int CProgressDlg::PumpAndStep()
{
    // Looking at the system's queue costs a few system calls (the display
    // connection and the main context's poll), about what copying a row
    // costs, so it is looked at once every few milliseconds, which nobody can
    // see or feel. Events queued within the program are handled every time.
    const auto now = std::chrono::steady_clock::now();
    if (now >= m_nextLook && wxTheApp) {
        m_nextLook = now + kLookInterval;
        DispatchWaiting();
    }
    if (wxTheApp && wxTheApp->HasPendingEvents())
        wxTheApp->ProcessPendingEvents();
    const int previous = StepIt();
    if (now >= m_nextShow || m_nPos == m_nUpper || m_nPos == m_nLower) {
        m_nextShow = now + kShowInterval;
        ShowPos();
    }
    return previous;
}

void CProgressDlg::DispatchWaiting()
{
    // The work runs inside a handler of the installer's modal loop, so that
    // loop is active; before any loop runs (tests) a loop of our own stands in.
    // Either way only what is waiting is dispatched: Pending never blocks.
    wxEventLoopBase* loop = wxEventLoopBase::GetActive();
    if (loop) {
        while (loop->Pending())
            loop->Dispatch();
        return;
    }
    if (!m_pumpLoop)
        m_pumpLoop.reset(wxTheApp->GetTraits()->CreateEventLoop());
    wxEventLoopActivator activate(m_pumpLoop.get());
    while (m_pumpLoop->Pending())
        m_pumpLoop->Dispatch();
}

void CProgressDlg::OnCancelButton(wxCommandEvent&)
{
    m_bCancel = TRUE;
}

void CProgressDlg::OnClose(wxCloseEvent& event)
{
    if (event.CanVeto()) {
        event.Veto();
        m_bCancel = TRUE;
        return;
    }
    event.Skip();
}
