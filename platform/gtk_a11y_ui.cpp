#include "platform/gtk_a11y.h"

#include <gtk/gtk.h>
#include <wx/dataview.h>
#include <wx/notebook.h>
#include <wx/window.h>

namespace {

gboolean OnShowWidget(GSignalInvocationHint*, guint nParams, const GValue* params, gpointer)
{
    if (nParams < 1)
        return TRUE;
    GObject* object = static_cast<GObject*>(g_value_get_object(&params[0]));
    if (!GTK_IS_MESSAGE_DIALOG(object))
        return TRUE;
    const gchar* title = gtk_window_get_title(GTK_WINDOW(object));
    AtkObject* accessible = gtk_widget_get_accessible(GTK_WIDGET(object));
    if (title && *title && accessible)
        atk_object_set_name(accessible, title);
    return TRUE;
}

GtkWidget* FocusWidget(wxWindow* window)
{
    if (auto* view = dynamic_cast<wxDataViewCtrl*>(window))
        return view->GtkGetTreeView();
    return window->GetConnectWidget();
}

} // namespace

void AnnounceMessageBoxesByCaption()
{
    static bool installed = false;
    if (installed)
        return;
    // GtkMessageDialog names itself after its type when it is made; the
    // hook runs when it is shown, after that.
    const guint signal = g_signal_lookup("show", GTK_TYPE_WIDGET);
    if (signal == 0)
        return;
    g_signal_add_emission_hook(signal, 0, OnShowWidget, nullptr, nullptr);
    installed = true;
}

void SetAccessibleName(wxWindow* window, const wxString& name)
{
    if (!window)
        return;
    GtkWidget* widget = FocusWidget(window);
    if (!widget)
        return;
    if (AtkObject* accessible = gtk_widget_get_accessible(widget))
        atk_object_set_name(accessible, name.utf8_str());
}

void NameNotebookPages(wxNotebook* tabs)
{
    if (!tabs)
        return;
    AtkObject* accessible = gtk_widget_get_accessible(tabs->GetHandle());
    if (!accessible)
        return;
    const size_t count = tabs->GetPageCount();
    for (size_t n = 0; n < count; ++n) {
        const wxString text = tabs->GetPageText(n);
        if (AtkObject* tab = atk_object_ref_accessible_child(accessible, static_cast<gint>(n))) {
            atk_object_set_name(tab, text.utf8_str());
            g_object_unref(tab);
        }
        SetAccessibleName(tabs->GetPage(n), text);
    }
}
