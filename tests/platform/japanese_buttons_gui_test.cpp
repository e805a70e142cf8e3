// Every kind of window the installer shows, shown for real under the locale of
// the environment (ctest runs this under LANG=ja_JP.UTF-8 and LANG=C.UTF-8):
// the message boxes and progress windows read Japanese under any locale, with
// working mnemonics; the folder dialog follows the locale. With
// PELLVANE_SCREENSHOT_DIR set, each window is saved there as a PNG.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/frame.h>
#include <wx/progdlg.h>
#include <wx/stattext.h>
#include <wx/stockitem.h>
#include <wx/translation.h>

#include "address/browse_for_folder.h"
#include "address/copy_progress.h"
#include "gui_support/gui_test_support.h"
#include "platform/cp932.h"
#include "platform/message_box.h"
#include "platform/wx_hooks.h"
#include "services/progress_dlg.h"
#include "support/test_support.h"

namespace {

bool JapaneseLocale()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return std::string(value).rfind("ja", 0) == 0;
    }
    return false;
}

// Words of two or more Latin letters, but "OK", which the system's own
// Japanese message box shows too.
std::vector<std::string> EnglishWords(const std::string& text)
{
    static const std::regex word("[A-Za-z]{2,}");
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), word); it != std::sregex_iterator(); ++it)
        if (it->str() != "OK")
            found.push_back(it->str());
    return found;
}

bool IsA(GtkWidget* widget, const char* typeName) { return std::string(G_OBJECT_TYPE_NAME(widget)) == typeName; }

// The texts a user sees in a window: every drawn label and button label,
// inner widgets included; a path bar's folder names are the user's own.
void CollectTexts(GtkWidget* widget, std::vector<std::string>& texts)
{
    if (!gtk_widget_is_drawable(widget) || IsA(widget, "GtkPathBar"))
        return;
    if (GTK_IS_LABEL(widget))
        texts.push_back(gtk_label_get_text(GTK_LABEL(widget)));
    if (GTK_IS_ENTRY(widget))
        texts.push_back(gtk_entry_get_placeholder_text(GTK_ENTRY(widget)) ? gtk_entry_get_placeholder_text(GTK_ENTRY(widget)) : "");
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(
            GTK_CONTAINER(widget),
            [](GtkWidget* child, gpointer out) { CollectTexts(child, *static_cast<std::vector<std::string>*>(out)); },
            &texts);
}

std::vector<std::string> AllTexts(GtkWidget* window)
{
    std::vector<std::string> texts;
    CollectTexts(window, texts);
    return texts;
}

GtkWidget* FindLabel(GtkWidget* widget)
{
    if (GTK_IS_LABEL(widget))
        return widget;
    GtkWidget* found = nullptr;
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* l = children; l && !found; l = l->next)
            found = FindLabel(GTK_WIDGET(l->data));
        g_list_free(children);
    }
    return found;
}

// The label a button shows, with its mnemonic marked by "_".
std::string ButtonLabel(GtkWidget* dialog, int response)
{
    GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), response);
    GtkWidget* label = button ? FindLabel(button) : nullptr;
    return label ? gtk_label_get_label(GTK_LABEL(label)) : "(no button)";
}

// Saves the window, with its frame when a window manager draws one.
void Screenshot(GtkWidget* window, const std::string& name)
{
    const char* dir = std::getenv("PELLVANE_SCREENSHOT_DIR");
    if (!dir || !*dir)
        return;
    GdkWindow* gdkWindow = gtk_widget_get_window(window);
    GdkRectangle frame;
    gdk_window_get_frame_extents(gdkWindow, &frame);
    gdk_display_sync(gdk_window_get_display(gdkWindow));
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), frame.x, frame.y, frame.width,
                                                 frame.height);
    ASSERT_NE(shot, nullptr);
    const std::string path = std::string(dir) + "/" + name + (JapaneseLocale() ? "-ja" : "-c") + ".png";
    EXPECT_TRUE(gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr)) << path;
    g_object_unref(shot);
}

// Lets a modal window of GTK type typeName come up for real, and once it has
// been drawn (and has settled for `settle` more looks) hands it to act, which
// must end it. A window that never comes ends the test's wait with a failure.
ModalRecorder::Custom WhenShown(const char* typeName, std::function<void(GtkWidget*)> act, int settle = 2)
{
    struct Watch {
        std::string typeName;
        std::function<void(GtkWidget*)> act;
        int settle;
        int looks = 0;
        bool drawn = false;
    };
    auto* watch = new Watch{typeName, std::move(act), settle};
    return [watch](wxDialog*) {
        g_timeout_add(20, [](gpointer data) -> gboolean {
            auto* w = static_cast<Watch*>(data);
            GtkWidget* found = nullptr;
            GList* windows = gtk_window_list_toplevels();
            for (GList* l = windows; l; l = l->next)
                if (IsA(GTK_WIDGET(l->data), w->typeName.c_str()) && gtk_widget_get_mapped(GTK_WIDGET(l->data)))
                    found = GTK_WIDGET(l->data);
            g_list_free(windows);
            if (++w->looks > 500) {
                ADD_FAILURE() << w->typeName << " was not shown";
                delete w;
                return G_SOURCE_REMOVE;
            }
            if (!found)
                return G_SOURCE_CONTINUE;
            if (!w->drawn) {
                w->drawn = true;
                // GTK's first size for the folder dialog overflows a small screen.
                if (GTK_IS_FILE_CHOOSER_DIALOG(found)) {
                    gtk_window_resize(GTK_WINDOW(found), 720, 480);
                    gtk_window_move(GTK_WINDOW(found), 40, 40);
                }
                gtk_widget_queue_draw(found);
                return G_SOURCE_CONTINUE;
            }
            if (w->settle-- > 0)
                return G_SOURCE_CONTINUE;
            w->act(found);
            delete w;
            return G_SOURCE_REMOVE;
        }, watch);
        return static_cast<int>(wxID_NONE);
    };
}

class JapaneseButtons : public ::testing::Test {
protected:
    void SetUp() override
    {
        wxTheApp->SetAppName("Pellvane");
        main->SetClientSize(400, 300);
        main->Show();
        wxTheApp->SetTopWindow(main);
        PumpEvents();
    }
    void TearDown() override
    {
        wxTheApp->SetTopWindow(nullptr);
        main->Destroy();
        PumpEvents();
    }
    wxFrame* main = new wxFrame(nullptr, wxID_ANY, "Pellvane");
    ModalRecorder modals;
};

// Each kind of message box: its buttons, what its mnemonics or its one button
// answer, and that no English word is on it.
TEST_F(JapaneseButtons, MessageBoxesWhateverTheLocale)
{
    const std::string report = "\"/media/cdrom/Guide.dbs\"が使用できませんでした。";
    const std::string question = "施設データが変更されています。\n施設データの最適化を行ないますか？";
    const std::string lowSpace = "指定したフォルダのディスク容量が足りないのでインストールできないと思われます。\n"
                                 "インストールを続けますか?";
    const struct {
        const char* name;
        const std::string& text;
        UINT type;
        std::vector<std::pair<int, std::string>> buttons; // GTK response, label
        guint key;                                      // mnemonic pressed, 0 for the OK button
        int expected;
    } cases[] = {
        {"message-ok", report, MB_OK, {{GTK_RESPONSE_OK, "OK"}}, 0, IDOK},
        {"message-yesno", question, MB_YESNO | MB_ICONINFORMATION,
         {{GTK_RESPONSE_YES, "はい(_Y)"}, {GTK_RESPONSE_NO, "いいえ(_N)"}}, GDK_KEY_y, IDYES},
        {"message-yesno-plain", lowSpace, MB_YESNO, {{GTK_RESPONSE_YES, "はい(_Y)"}, {GTK_RESPONSE_NO, "いいえ(_N)"}},
         GDK_KEY_n, IDNO},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        modals.AnswerCustom(WhenShown("GtkMessageDialog", [&](GtkWidget* dialog) {
            EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog)), "Pellvane");
            for (const auto& [response, label] : c.buttons)
                EXPECT_EQ(ButtonLabel(dialog, response), label) << "response " << response;
            // The text itself may name a path.
            for (const std::string& text : AllTexts(dialog)) {
                if (text != c.text) {
                    EXPECT_EQ(EnglishWords(text), std::vector<std::string>()) << text;
                }
            }
            // Heard as its caption, not as the kind of box.
            EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(dialog)), "Pellvane");
            Screenshot(dialog, c.name);
            if (c.key) {
                EXPECT_TRUE(gtk_window_mnemonic_activate(GTK_WINDOW(dialog), c.key,
                                                         gtk_window_get_mnemonic_modifier(GTK_WINDOW(dialog))))
                    << "no mnemonic " << gdk_keyval_name(c.key);
            } else {
                gtk_button_clicked(GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK)));
            }
        }));
        EXPECT_EQ(AfxMessageBox(FromUtf8(c.text), c.type), c.expected);
    }
}

// The folder dialog follows the locale: Japanese throughout under a Japanese
// one, GTK's English under C.
// The installer finds the toolkit's catalogue once its window is on screen:
// stock texts follow the locale from then on.
TEST_F(JapaneseButtons, StockTextsFollowTheLocaleFromTheFirstIdleTime)
{
    wxTranslations::Set(nullptr);
    UseEnvironmentLocale(StockTexts::WhenIdle);
    EXPECT_EQ(wxGetStockLabel(wxID_CANCEL).utf8_string(), "&Cancel");
    PumpEvents();
    EXPECT_EQ(wxGetStockLabel(wxID_CANCEL).utf8_string(), JapaneseLocale() ? "キャンセル (&C)" : "&Cancel");
}

TEST_F(JapaneseButtons, FolderDialogFollowsTheLocale)
{
    const char* home = std::getenv("HOME");
    const std::string start = home && *home ? home : "/";
    modals.AnswerCustom(WhenShown(
        "GtkFileChooserDialog",
        [&](GtkWidget* dialog) {
            const std::string cancel = ButtonLabel(dialog, GTK_RESPONSE_CANCEL);
            const std::string accept = ButtonLabel(dialog, GTK_RESPONSE_ACCEPT);
            // The places list names the working folder, the user's own name.
            char* cwd = g_get_current_dir();
            gchar* cwdName = g_path_get_basename(cwd);
            const std::string workingFolder = cwdName;
            g_free(cwdName);
            g_free(cwd);
            std::vector<std::string> english;
            for (const std::string& text : AllTexts(dialog))
                if (text != workingFolder)
                    for (const std::string& word : EnglishWords(text))
                    english.push_back(word + " (in \"" + text + "\")");
            if (JapaneseLocale()) {
                EXPECT_EQ(cancel, "キャンセル(_C)");
                EXPECT_EQ(accept, "開く(_O)");
                EXPECT_EQ(english, std::vector<std::string>());
            } else {
                EXPECT_EQ(cancel, "_Cancel");
                EXPECT_EQ(accept, "_Open");
                EXPECT_FALSE(english.empty());
            }
            Screenshot(dialog, "folder-dialog");
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
        },
        25));
    EXPECT_EQ(BrowseForFolder(main, FromUtf8("インストール元フォルダを選択してください。"), FromUtf8(start)), "");
}

// The guide page's progress dialog and the address copy's progress window.
TEST_F(JapaneseButtons, ProgressWindowsWhateverTheLocale)
{
    CProgressDlg* progress = new CProgressDlg;
    ASSERT_TRUE(progress->Create(main));
    EXPECT_EQ(progress->m_btnCancel->GetLabel().utf8_string(), "キャンセル");
    progress->Destroy();

    TempDir dir;
    {
        std::ofstream(dir / "Adr_L.dbs") << std::string(1 << 20, 'x');
    }
    std::vector<std::string> labels;
    SetProgressWindowHook([&](wxProgressDialog& window) {
        if (!labels.empty())
            return;
        for (wxWindow* child : window.GetChildren())
            if (dynamic_cast<wxButton*>(child) || dynamic_cast<wxStaticText*>(child))
                if (child->GetLabel().Find(wxString::FromUTF8(dir.path())) == wxNOT_FOUND)
                    labels.push_back(child->GetLabel().utf8_string());
        wxCommandEvent cancel(wxEVT_BUTTON, wxID_CANCEL);
        cancel.SetEventObject(window.FindWindow(wxID_CANCEL));
        window.FindWindow(wxID_CANCEL)->ProcessWindowEvent(cancel);
    });
    CopyFileWithProgress(main, FromUtf8(dir / "Adr_L.dbs"), FromUtf8(dir / "hd"), "Address.dbs",
                         FromUtf8("データをインストールしています..."));
    SetProgressWindowHook(nullptr);
    EXPECT_NE(std::find(labels.begin(), labels.end(), "キャンセル"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "残り時間:"), labels.end());
    for (const std::string& label : labels)
        EXPECT_EQ(EnglishWords(label), std::vector<std::string>()) << label;
}

} // namespace
