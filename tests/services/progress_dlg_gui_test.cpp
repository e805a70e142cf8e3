#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include "gui_support/gui_test_support.h"
#include "platform/cp932.h"
#include "platform/dialog_units.h"
#include "services/animation_ui.h"
#include "services/progress_dlg.h"

namespace {

class ProgressDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dlg = new CProgressDlg;
        ASSERT_TRUE(m_dlg->Create(nullptr));
    }
    void TearDown() override
    {
        m_dlg->Destroy();
        PumpEvents();
    }

    // What the owner does before a transfer of n rows.
    void ShowForCopy(int n)
    {
        m_dlg->Show();
        m_dlg->StartCopyAnimation();
        m_dlg->SetRange(0, n + 1);
        m_dlg->SetPos(0);
        m_dlg->SetStep(1);
    }

    // A click on the cancel button as the window system delivers it: an event
    // queued for the button, reaching the dialog only through the pump.
    void PostCancelClick()
    {
        auto* click = new wxCommandEvent(wxEVT_BUTTON, CProgressDlg::IDC_CANCEL_BUTTON);
        click->SetEventObject(m_dlg->m_btnCancel);
        wxQueueEvent(m_dlg->m_btnCancel, click);
    }

    // Pumps until done() or a generous limit passes; false on the limit.
    bool PumpUntil(const std::function<bool()>& done)
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > limit)
                return false;
            m_dlg->PumpAndStep();
        }
        return true;
    }

    ModalRecorder m_modals; // no modal window is expected
    CProgressDlg* m_dlg = nullptr;
};

TEST_F(ProgressDlgTest, IsCreatedHiddenFromItsTemplate)
{
    EXPECT_FALSE(m_dlg->IsShown());
    EXPECT_EQ(m_dlg->GetTitle().utf8_string(), "データをインストールしています...");
    EXPECT_FALSE(m_dlg->HasFlag(wxSYSTEM_MENU));
    EXPECT_FALSE(m_dlg->HasFlag(wxCLOSE_BOX));
    EXPECT_EQ(m_dlg->GetClientSize(), DlgSize(m_dlg, 250, 99));
    EXPECT_EQ(m_dlg->m_btnCancel->GetLabel().utf8_string(), "キャンセル");
    EXPECT_EQ(m_dlg->m_staticText->GetLabel(), wxString());
    EXPECT_EQ(m_dlg->m_strText, "");
    EXPECT_FALSE(m_dlg->m_bCancel);

    const struct {
        int id;
        int x, y, cx, cy;
    } controls[] = {
        {1150, 7, 73, 191, 9}, {1160, 7, 58, 236, 11}, {1042, 202, 72, 41, 13}};
    for (const auto& c : controls) {
        wxWindow* w = m_dlg->FindWindow(c.id);
        ASSERT_NE(w, nullptr) << c.id;
        EXPECT_EQ(w->GetRect(), DlgRect(m_dlg, c.x, c.y, c.cx, c.cy)) << c.id;
    }
    // The animation starts at its template corner; it takes the size of the
    // clip it opens.
    ASSERT_NE(m_dlg->FindWindow(1170), nullptr);
    EXPECT_EQ(m_dlg->m_animate->GetPosition(), DlgRect(m_dlg, 7, 8, 236, 36).GetPosition());
    EXPECT_FALSE(m_dlg->m_animate->IsOpen());
}

TEST_F(ProgressDlgTest, CopyAndRemoveModesShowTheirClipAndBar)
{
    const struct {
        const char* mode;
        std::function<void(CProgressDlg*)> start;
        UINT clip;
        int frames;
        wxSize size;
        bool barEnabled;
    } modes[] = {
        {"copy", &CProgressDlg::StartCopyAnimation, 330, 17, wxSize(260, 40), true},
        {"remove", &CProgressDlg::StartRemoveAnimation, 340, 24, wxSize(304, 60), false},
        {"copy again", &CProgressDlg::StartCopyAnimation, 330, 17, wxSize(260, 40), true},
    };
    m_dlg->Show();
    for (const auto& m : modes) {
        SCOPED_TRACE(m.mode);
        m.start(m_dlg);
        CAnimateCtrl* anim = m_dlg->m_animate;
        EXPECT_EQ(anim->GetOpenID(), m.clip);
        EXPECT_EQ(anim->GetFrameCount(), m.frames);
        EXPECT_EQ(anim->GetSize(), m.size);
        EXPECT_EQ(anim->GetFrameInterval(), 100);
        EXPECT_TRUE(anim->IsPlaying());
        EXPECT_EQ(m_dlg->m_progress->IsEnabled(), m.barEnabled);
        EXPECT_TRUE(m_dlg->m_btnCancel->IsEnabled());

        // It runs on its timer while the work pumps (and the copying clip is
        // seen to go round).
        int seen = 0, last = anim->GetCurrentFrame();
        bool wrapped = false;
        ASSERT_TRUE(PumpUntil([&] {
            const int now = anim->GetCurrentFrame();
            if (now != last) {
                ++seen;
                wrapped = wrapped || now < last;
                last = now;
            }
            return seen >= 2 && (wrapped || m.clip != 330);
        }));

        m_dlg->StopAnimation();
        EXPECT_FALSE(anim->IsOpen());
        EXPECT_FALSE(anim->IsPlaying());
    }
}

TEST_F(ProgressDlgTest, CancelClickDuringPumpedLoopStopsAfterTheRowInHand)
{
    const int n = 10;
    ShowForCopy(n);
    int rows = 0;
    for (int row = 0; row < n; ++row) {
        if (row == 4)
            PostCancelClick();
        EXPECT_EQ(m_dlg->PumpAndStep(), row);
        ++rows;
        if (m_dlg->m_bCancel)
            break;
    }
    // The click queued before row 4's pump is seen by that pump.
    EXPECT_EQ(rows, 5);
    EXPECT_TRUE(m_dlg->m_bCancel);
    EXPECT_EQ(m_dlg->GetPos(), 5);
    // Nothing else happened: still shown, still copying.
    EXPECT_TRUE(m_dlg->IsShown());
    EXPECT_TRUE(m_dlg->m_animate->IsPlaying());

    // SetPos clears the flag.
    m_dlg->SetPos(0);
    EXPECT_FALSE(m_dlg->m_bCancel);
}

TEST_F(ProgressDlgTest, RealMouseClickReachesTheFlagThroughThePump)
{
    ShowForCopy(1000000);
    // Once the animation has moved on twice, the window is mapped and placed.
    const int first = m_dlg->m_animate->GetCurrentFrame();
    ASSERT_TRUE(PumpUntil([&] { return m_dlg->m_animate->GetCurrentFrame() >= first + 2; }));
    const wxRect r = m_dlg->m_btnCancel->GetScreenRect();
    wxUIActionSimulator sim;
    sim.MouseMove(r.GetLeft() + r.GetWidth() / 2, r.GetTop() + r.GetHeight() / 2);
    sim.MouseClick();
    EXPECT_TRUE(PumpUntil([&] { return m_dlg->m_bCancel != FALSE; }));
}

TEST_F(ProgressDlgTest, ANewCopyAfterACancelStartsCleared)
{
    ShowForCopy(5);
    PostCancelClick();
    m_dlg->PumpAndStep();
    ASSERT_TRUE(m_dlg->m_bCancel);
    m_dlg->StopAnimation();

    // The next genre: StartCopyAnimation clears it on its own.
    m_dlg->StartCopyAnimation();
    EXPECT_FALSE(m_dlg->m_bCancel);
}

TEST_F(ProgressDlgTest, RemoveModeClearsNothing)
{
    ShowForCopy(5);
    PostCancelClick();
    m_dlg->PumpAndStep();
    ASSERT_TRUE(m_dlg->m_bCancel);

    m_dlg->StartRemoveAnimation();
    EXPECT_TRUE(m_dlg->m_bCancel);

    // A click in remove mode only sets the flag; the bar stays disabled.
    m_dlg->m_bCancel = FALSE;
    PostCancelClick();
    m_dlg->PumpAndStep();
    EXPECT_TRUE(m_dlg->m_bCancel);
    EXPECT_FALSE(m_dlg->m_progress->IsEnabled());
    EXPECT_TRUE(m_dlg->IsShown());
}

TEST_F(ProgressDlgTest, BarStepsOncePerRowWithinTheCallersRange)
{
    const struct {
        const char* name;
        int n;     // rows counted by the caller
        int steps; // rows copied
        int pos;   // where the bar ends
        bool full;
    } cases[] = {
        {"group row present: one step short", 7, 7, 7, false},
        {"group row copied: at its end", 7, 8, 8, true},
        {"empty genre, group row copied", 0, 1, 1, true},
        {"large genre", 250000, 250001, 250001, true},
        {"one step past the end starts over", 3, 5, 0, false},
    };
    m_dlg->Show();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_dlg->StartCopyAnimation();
        m_dlg->SetRange(0, c.n + 1);
        m_dlg->SetPos(0);
        m_dlg->SetStep(1);
        for (int i = 0; i < c.steps; ++i) {
            const int before = m_dlg->GetPos();
            ASSERT_EQ(m_dlg->PumpAndStep(), before);
        }
        EXPECT_EQ(m_dlg->GetPos(), c.pos);
        EXPECT_EQ(m_dlg->m_progress->GetValue() == m_dlg->m_progress->GetRange(), c.full);
    }
}

TEST_F(ProgressDlgTest, EscapeAndCloseRequestActAsTheCancelButtonAndNeverHide)
{
    ShowForCopy(5);
    wxKeyEvent esc(wxEVT_CHAR_HOOK);
    esc.m_keyCode = WXK_ESCAPE;
    esc.SetEventObject(m_dlg);
    m_dlg->ProcessWindowEvent(esc);
    m_dlg->PumpAndStep();
    EXPECT_TRUE(m_dlg->m_bCancel);
    EXPECT_TRUE(m_dlg->IsShown());

    m_dlg->SetPos(0);
    EXPECT_FALSE(m_dlg->Close());
    EXPECT_TRUE(m_dlg->m_bCancel);
    EXPECT_TRUE(m_dlg->IsShown());

    // Enter, with nothing that is a default button, leaves everything alone.
    m_dlg->SetPos(0);
    wxKeyEvent enter(wxEVT_CHAR_HOOK);
    enter.m_keyCode = WXK_RETURN;
    enter.SetEventObject(m_dlg);
    m_dlg->ProcessWindowEvent(enter);
    m_dlg->PumpAndStep();
    EXPECT_FALSE(m_dlg->m_bCancel);
    EXPECT_TRUE(m_dlg->IsShown());
}

TEST_F(ProgressDlgTest, TextAndCaptionShowCp932TextAsItStands)
{
    const std::string text = FromUtf8("「銀行 & 信用金庫」 のデータをインストールしています...。");
    m_dlg->SetText(text);
    EXPECT_EQ(m_dlg->m_strText, text);
    EXPECT_EQ(m_dlg->m_staticText->GetLabelText().utf8_string(), "「銀行 & 信用金庫」 のデータをインストールしています...。");

    m_dlg->SetCaption(FromUtf8("データを削除しています..."));
    EXPECT_EQ(m_dlg->GetTitle().utf8_string(), "データを削除しています...");
}

} // namespace
