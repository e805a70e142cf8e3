// The main dialog driven by the keyboard alone, through the X server's own
// key events: after ">>" and "<<" have done their work the keyboard rests on
// the list the user worked from, so the arrow keys act at once, and no
// tooltip stays up for the button that is now disabled.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include <gtk/gtk.h>
#include <wx/button.h>
#include <wx/dataview.h>
#include <wx/time.h>
#include <wx/uiaction.h>

#include "gui_support/gui_test_support.h"
#include "guide/genre_list_ctrl.h"
#include "settings/directory_settings.h"
#include "shell/installer_dlg.h"
#include "support/test_support.h"
#include "tests/settings/sample_host_fixture.h"

namespace {

enum { kNotInstalled = 1030, kInstalled = 1060, kInstall = 1070, kRemove = 1080 };

class KeyboardDlg : public CInstallerDlg {
public:
    wxWindow* Page() { return &m_pageGuide; }
};

bool TooltipShown()
{
    bool shown = false;
    GList* windows = gtk_window_list_toplevels();
    for (GList* l = windows; l; l = l->next)
        if (std::string(G_OBJECT_TYPE_NAME(l->data)) == "GtkTooltipWindow" && gtk_widget_get_visible(GTK_WIDGET(l->data)))
            shown = true;
    g_list_free(windows);
    return shown;
}

// Runs events until done() holds; false when it never did.
bool PumpUntil(const std::function<bool()>& done, long limitMs = 10000)
{
    for (const auto until = wxGetLocalTimeMillis() + limitMs; wxGetLocalTimeMillis() < until;) {
        PumpEvents(1);
        if (done())
            return true;
        wxMilliSleep(5);
    }
    return false;
}

bool HasFocus(wxWindow* window)
{
    for (wxWindow* w = wxWindow::FindFocus(); w; w = w->GetParent())
        if (w == window)
            return true;
    return false;
}

// Presses Tab until window has the keyboard.
bool TabTo(wxWindow* window)
{
    wxUIActionSimulator sim;
    for (int i = 0; i < 20 && !HasFocus(window); ++i) {
        sim.Char(WXK_TAB);
        PumpEvents();
    }
    return HasFocus(window);
}

class Keyboard : public ::testing::Test {
protected:
    ScratchRegistry registry;
    TempDir cd, hd, runtime;
    EnvVar runtimeDir{"XDG_RUNTIME_DIR", runtime.path()};
    ModalRecorder modals;
};

TEST_F(Keyboard, FocusStaysOnTheListAndNoTooltipOutlivesTheWork)
{
    ASSERT_EQ(std::system(("'" PELLVANE_BINARY_DIR "/bin/make-sample-cd' '" + cd.path() +
                           "' --genres 4 --points-per-genre 10 --seed 3 >/dev/null").c_str()), 0);
    SetGuideCdPath((cd / "Guide.dbs").c_str());
    SetGuideHdPath((hd / "Guide.dbs").c_str());
    SetAddressCdPath((cd / "Adr_L.dbs").c_str());
    SetAddressHdPath((hd / "Address.dbs").c_str());
    modals.AnswerMessage(wxID_OK); // no guide database on the hard disk yet
    auto dlg = std::make_unique<KeyboardDlg>();
    wxWindow* page = dlg->Page();
    auto* notInstalled = dynamic_cast<CGenreListCtrl*>(page->FindWindow(kNotInstalled));
    auto* installed = dynamic_cast<CGenreListCtrl*>(page->FindWindow(kInstalled));
    auto* install = dynamic_cast<wxButton*>(page->FindWindow(kInstall));
    auto* remove = dynamic_cast<wxButton*>(page->FindWindow(kRemove));
    ASSERT_TRUE(notInstalled && installed && install && remove);

    // The user works with one button: selects in its list, rests the pointer
    // on the button until its tooltip shows, and presses Enter.
    auto work = [&](CGenreListCtrl* list, wxButton* button, const char* what) {
        SCOPED_TRACE(what);
        wxUIActionSimulator sim;
        ASSERT_TRUE(TabTo(list)) << "Tab never reached the list";
        sim.Char(WXK_DOWN);
        ASSERT_TRUE(PumpUntil([&] { return button->IsEnabled(); })) << "Down selected nothing";
        sim.MouseMove(button->GetScreenRect().GetPosition() + wxPoint(6, 6));
        ASSERT_TRUE(PumpUntil(TooltipShown)) << "the button's tooltip never showed";
        ASSERT_TRUE(TabTo(button));
        const int before = list->GetItemCount();
        sim.Char(WXK_RETURN);
        ASSERT_TRUE(PumpUntil([&] { return list->GetItemCount() == before - 1; })) << "Enter did no work";
        PumpEvents();

        EXPECT_FALSE(button->IsEnabled());
        EXPECT_TRUE(HasFocus(list)) << "the keyboard is not on the list it worked from";
        // The pointer still rests on the button; GTK would bring its tooltip
        // back after its hover delay (half a second), so look for twice that.
        EXPECT_FALSE(PumpUntil(TooltipShown, 1000)) << "the disabled button's tooltip is up";

        // The arrow keys act on the list at once, without a Tab first.
        sim.Char(WXK_DOWN);
        EXPECT_TRUE(PumpUntil([&] { return list->GetSelectedCount() > 0; })) << "Down did not reach the list";
        sim.MouseMove(page->GetScreenPosition() + wxPoint(2, 2));
        PumpEvents();
    };

    modals.AnswerCustom([&](wxDialog* d) {
        d->CallAfter([&, d] {
            PumpEvents();
            // No window manager gives the dialog the keyboard: the pointer on
            // it and the window presented do.
            wxUIActionSimulator().MouseMove(page->GetScreenPosition() + wxPoint(2, 2));
            gtk_window_present(GTK_WINDOW(d->GetHandle()));
            EXPECT_TRUE(PumpUntil([] { return wxWindow::FindFocus() != nullptr; })) << "the dialog never had the keyboard";
            work(notInstalled, install, ">>");
            work(notInstalled, install, ">> again");
            work(installed, remove, "<<");
            modals.AnswerMessage(wxID_NO); // no optimisation
            wxCommandEvent close(wxEVT_BUTTON, IDC_CLOSE_BUTTON);
            close.SetEventObject(d->FindWindow(IDC_CLOSE_BUTTON));
            d->FindWindow(IDC_CLOSE_BUTTON)->ProcessWindowEvent(close);
            if (d->IsModal())
                d->EndModal(wxID_CANCEL);
        });
        return static_cast<int>(wxID_NONE);
    });
    EXPECT_EQ(dlg->ShowModal(), wxID_OK);
}

} // namespace
