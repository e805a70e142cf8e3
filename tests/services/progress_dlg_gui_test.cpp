#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/stattext.h>

#include "gui_support/gui_test_support.h"
#include "platform/cp932.h"
#include "platform/dialog_units.h"
#include "services/animation_ui.h"
#include "services/progress_dlg.h"

namespace {

class ProgressDlgTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dlg->Create(nullptr)); }
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

    // A click on the cancel button queued as the window system would, so
    // that only the pump delivers it.
    void PostCancelClick()
    {
        auto* click = new wxCommandEvent(wxEVT_BUTTON, CProgressDlg::IDC_CANCEL_BUTTON);
        click->SetEventObject(m_dlg->m_btnCancel);
        wxQueueEvent(m_dlg->m_btnCancel, click);
    }

    // Pumps until done(); false after a generous limit, so nothing can hang.
    bool PumpUntil(const std::function<bool()>& done)
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < limit)
            m_dlg->PumpAndStep();
        return done();
    }

    ModalRecorder m_modals; // no modal window is expected
    CProgressDlg* m_dlg = new CProgressDlg;
};

TEST_F(ProgressDlgTest, IsCreatedHiddenFromItsTemplateAndShowsCp932Text)
{
    EXPECT_FALSE(m_dlg->IsShown());
    EXPECT_EQ(m_dlg->GetTitle().utf8_string(), "データをインストールしています...");
    EXPECT_FALSE(m_dlg->HasFlag(wxSYSTEM_MENU) || m_dlg->HasFlag(wxCLOSE_BOX));
    EXPECT_EQ(m_dlg->GetClientSize(), DlgSize(m_dlg, 250, 99));
    EXPECT_EQ(m_dlg->m_btnCancel->GetLabel().utf8_string(), "キャンセル");
    EXPECT_FALSE(m_dlg->m_bCancel);
    EXPECT_FALSE(m_dlg->m_animate->IsOpen());
    EXPECT_EQ(m_dlg->m_animate->GetPosition(), DlgRect(m_dlg, 7, 8, 236, 36).GetPosition());
    EXPECT_EQ(m_dlg->FindWindow(1150)->GetRect(), DlgRect(m_dlg, 7, 73, 191, 9));
    EXPECT_EQ(m_dlg->FindWindow(1160)->GetRect(), DlgRect(m_dlg, 7, 58, 236, 11));
    EXPECT_EQ(m_dlg->FindWindow(1042)->GetRect(), DlgRect(m_dlg, 202, 72, 41, 13));

    // "&" is shown as it stands, not taken for a mnemonic.
    const std::string text = "「銀行 & 信用金庫」 のデータをインストールしています...。";
    m_dlg->SetText(FromUtf8(text));
    EXPECT_EQ(m_dlg->m_strText, FromUtf8(text));
    EXPECT_EQ(m_dlg->m_staticText->GetLabelText().utf8_string(), text);
    m_dlg->SetCaption(FromUtf8("データを削除しています..."));
    EXPECT_EQ(m_dlg->GetTitle().utf8_string(), "データを削除しています...");
}

TEST_F(ProgressDlgTest, CopyAndRemoveModesPlayTheirClipWhileTheWorkPumps)
{
    const struct {
        bool remove;
        UINT clip;
        int frames;
        wxSize size;
        bool barEnabled;
    } modes[] = {
        {false, 330, 17, wxSize(260, 40), true},
        {true, 340, 24, wxSize(304, 60), false},
        {false, 330, 17, wxSize(260, 40), true},
    };
    m_dlg->Show();
    for (const auto& m : modes) {
        SCOPED_TRACE(m.clip);
        // A call through a pointer to member is miscompiled by GCC 12 with
        // -fsanitize=vptr (it checks a stale stack slot as the object), so
        // the mode is picked with a plain branch.
        if (m.remove)
            m_dlg->StartRemoveAnimation();
        else
            m_dlg->StartCopyAnimation();
        CAnimateCtrl* anim = m_dlg->m_animate;
        EXPECT_EQ(anim->GetOpenID(), m.clip);
        EXPECT_EQ(anim->GetFrameCount(), m.frames);
        EXPECT_EQ(anim->GetSize(), m.size);
        EXPECT_EQ(anim->GetFrameInterval(), 100);
        EXPECT_EQ(m_dlg->m_progress->IsEnabled(), m.barEnabled);
        EXPECT_TRUE(m_dlg->m_btnCancel->IsEnabled());
        const int first = anim->GetCurrentFrame();
        EXPECT_TRUE(PumpUntil([&] { return anim->GetCurrentFrame() != first; }));
        m_dlg->StopAnimation();
        EXPECT_FALSE(anim->IsOpen() || anim->IsPlaying());
    }
}

TEST_F(ProgressDlgTest, CancelSetsOnlyTheFlagWhichSetPosAndANewCopyClear)
{
    ShowForCopy(10);
    int rows = 0;
    for (; rows < 10 && !m_dlg->m_bCancel; ++rows) {
        if (rows == 4)
            PostCancelClick();
        EXPECT_EQ(m_dlg->PumpAndStep(), rows);
    }
    // The click is seen by the pump after row 4; the bar stays where it was.
    EXPECT_EQ(rows, 5);
    EXPECT_EQ(m_dlg->GetPos(), 5);
    EXPECT_TRUE(m_dlg->IsShown() && m_dlg->m_animate->IsPlaying());
    m_dlg->SetPos(0);
    EXPECT_FALSE(m_dlg->m_bCancel);

    // Remove mode leaves the flag alone, and a click there only sets it.
    m_dlg->m_bCancel = TRUE;
    m_dlg->StartRemoveAnimation();
    EXPECT_TRUE(m_dlg->m_bCancel);
    m_dlg->m_bCancel = FALSE;
    PostCancelClick();
    m_dlg->PumpAndStep();
    EXPECT_TRUE(m_dlg->m_bCancel && m_dlg->IsShown());
    EXPECT_FALSE(m_dlg->m_progress->IsEnabled());
    m_dlg->StartCopyAnimation();
    EXPECT_FALSE(m_dlg->m_bCancel);
}

// Escape and a close request act as the cancel button and never hide the
// dialog in front of the work; Enter does nothing.
TEST_F(ProgressDlgTest, EscapeAndCloseRequestActAsTheCancelButton)
{
    ShowForCopy(5);
    for (const int key : {WXK_ESCAPE, WXK_RETURN}) {
        m_dlg->SetPos(0);
        wxKeyEvent press(wxEVT_CHAR_HOOK);
        press.m_keyCode = key;
        press.SetEventObject(m_dlg);
        m_dlg->ProcessWindowEvent(press);
        m_dlg->PumpAndStep();
        EXPECT_EQ(m_dlg->m_bCancel, key == WXK_ESCAPE);
        EXPECT_TRUE(m_dlg->IsShown());
    }
    m_dlg->SetPos(0);
    EXPECT_FALSE(m_dlg->Close());
    EXPECT_TRUE(m_dlg->m_bCancel && m_dlg->IsShown());
}

} // namespace
