#include <gtest/gtest.h>

#include <chrono>

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/stattext.h>

#include "gui_support/gui_test_support.h"
#include "platform/cp932.h"
#include "platform/dialog_units.h"
#include "platform/animation_ui.h"
#include "services/progress_dlg.h"

namespace {

class ProgressDlgTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dlg->Create(nullptr)); }
    void TearDown() override { m_dlg->Destroy(), PumpEvents(); }

    ModalRecorder m_modals; // no modal window is expected
    CProgressDlg* m_dlg = new CProgressDlg;
};

TEST_F(ProgressDlgTest, ShowsItsTemplateAndPlaysEachModesClipWhileTheWorkPumps)
{
    EXPECT_FALSE(m_dlg->IsShown());
    EXPECT_EQ(m_dlg->GetTitle().utf8_string(), "データをインストールしています...");
    EXPECT_EQ(m_dlg->m_btnCancel->GetLabel().utf8_string(), "キャンセル");
    EXPECT_EQ(m_dlg->GetClientSize(), DlgSize(m_dlg, 250, 99));
    const std::string text = "「銀行 & 信用金庫」 のデータをインストールしています...。"; // "&" is no mnemonic
    m_dlg->SetText(FromUtf8(text));
    EXPECT_EQ(m_dlg->m_staticText->GetLabelText().utf8_string(), text);
    m_dlg->SetCaption(FromUtf8("データを削除しています..."));
    EXPECT_EQ(m_dlg->GetTitle().utf8_string(), "データを削除しています...");
    m_dlg->Show();
    for (const bool remove : {false, true, false}) {
        // A plain branch: GCC 12 with -fsanitize=vptr miscompiles a call through a
        // pointer to member (it checks a stale stack slot as the object).
        if (remove)
            m_dlg->StartRemoveAnimation();
        else
            m_dlg->StartCopyAnimation();
        CAnimateCtrl* anim = m_dlg->m_animate;
        EXPECT_EQ(anim->GetOpenID(), remove ? 340u : 330u);
        EXPECT_EQ(m_dlg->m_progress->IsEnabled(), !remove);
        const int first = anim->GetCurrentFrame();
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10); // never hangs
        while (anim->GetCurrentFrame() == first && std::chrono::steady_clock::now() < limit)
            m_dlg->PumpAndStep();
        EXPECT_NE(anim->GetCurrentFrame(), first) << remove;
        m_dlg->StopAnimation();
        EXPECT_FALSE(anim->IsOpen() || anim->IsPlaying());
    }
}

TEST_F(ProgressDlgTest, CancelKeysAndCloseSetOnlyTheFlagWhichSetPosAndANewCopyClear)
{
    m_dlg->Show();
    m_dlg->StartCopyAnimation();
    m_dlg->SetRange(0, 11);
    m_dlg->SetStep(1);
    int rows = 0;
    for (; rows < 10 && !m_dlg->m_bCancel; ++rows) {
        if (rows == 4) // a click queued as the window system would, so that only the pump delivers it
            wxQueueEvent(m_dlg->m_btnCancel, new wxCommandEvent(wxEVT_BUTTON, CProgressDlg::IDC_CANCEL_BUTTON));
        EXPECT_EQ(m_dlg->PumpAndStep(), rows);
    }
    EXPECT_EQ(rows, 5);
    EXPECT_TRUE(m_dlg->IsShown() && m_dlg->m_animate->IsPlaying());
    m_dlg->StartRemoveAnimation(); // leaves the flag alone; a new copy clears it
    EXPECT_TRUE(m_dlg->m_bCancel);
    m_dlg->StartCopyAnimation();
    EXPECT_FALSE(m_dlg->m_bCancel);
    // Escape and a close request act as the cancel button, never hiding the dialog; Enter does nothing.
    for (const int key : {WXK_ESCAPE, WXK_RETURN}) {
        m_dlg->SetPos(0);
        wxKeyEvent press(wxEVT_CHAR_HOOK);
        press.m_keyCode = key;
        press.SetEventObject(m_dlg);
        m_dlg->ProcessWindowEvent(press);
        m_dlg->PumpAndStep();
        EXPECT_TRUE(m_dlg->m_bCancel == (key == WXK_ESCAPE) && m_dlg->IsShown()) << key;
    }
    m_dlg->SetPos(0);
    EXPECT_FALSE(m_dlg->Close());
    EXPECT_TRUE(m_dlg->m_bCancel && m_dlg->IsShown());
}

} // namespace
