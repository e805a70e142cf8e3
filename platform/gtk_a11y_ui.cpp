#include "platform/gtk_a11y.h"

#include <gtk/gtk.h>
#include <wx/dataview.h>
#include <wx/choice.h>
#include <wx/notebook.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tooltip.h>
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

bool NeedsName(wxWindow* window)
{
    return dynamic_cast<wxTextCtrl*>(window) || dynamic_cast<wxDataViewCtrl*>(window) ||
           dynamic_cast<wxNotebook*>(window) || dynamic_cast<wxChoice*>(window);
}

bool HasName(wxWindow* window)
{
    AtkObject* accessible = gtk_widget_get_accessible(FocusWidget(window));
    const gchar* name = accessible ? atk_object_get_name(accessible) : nullptr;
    return name && *name;
}

wxString LabelBeside(wxWindow* control)
{
    const wxRect c = control->GetRect();
    wxStaticText* left = nullptr;
    wxStaticText* above = nullptr;
    for (wxWindow* sibling : control->GetParent()->GetChildren()) {
        auto* label = dynamic_cast<wxStaticText*>(sibling);
        if (!label || label->GetLabelText().empty())
            continue;
        const wxRect l = label->GetRect();
        if (l.GetRight() <= c.GetLeft() + 2 && l.GetTop() < c.GetBottom() && l.GetBottom() > c.GetTop()) {
            if (!left || l.GetRight() > left->GetRect().GetRight())
                left = label;
        } else if (l.GetBottom() <= c.GetTop() + 2 && l.GetLeft() < c.GetRight() && l.GetRight() > c.GetLeft() &&
                   c.GetTop() - l.GetBottom() < 2 * l.GetHeight()) {
            if (!above || l.GetBottom() > above->GetRect().GetBottom())
                above = label;
        }
    }
    if (left)
        return left->GetLabelText();
    return above ? above->GetLabelText() : wxString();
}

gboolean OnQueryTooltip(GtkWidget* widget, gint, gint, gboolean, GtkTooltip*, gpointer)
{
    if (gtk_widget_is_sensitive(widget))
        return FALSE;
    // Keeps GTK's own handler, which would show the text, from running.
    g_signal_stop_emission_by_name(widget, "query-tooltip");
    return FALSE;
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

void HideNotebookTabs(wxNotebook* tabs)
{
    if (tabs && GTK_IS_NOTEBOOK(tabs->GetHandle()))
        gtk_notebook_set_show_tabs(GTK_NOTEBOOK(tabs->GetHandle()), FALSE);
}

void NameUnlabelledControls(wxWindow* root)
{
    for (wxWindow* child : root->GetChildren()) {
        if (child->IsTopLevel())
            continue;
        if (NeedsName(child) && !HasName(child)) {
            wxString name = LabelBeside(child);
            if (name.empty() && child->GetToolTip())
                name = child->GetToolTip()->GetTip();
            if (!name.empty()) {
                SetAccessibleName(child, name);
                // The list's frame takes the focus too.
                if (dynamic_cast<wxDataViewCtrl*>(child))
                    if (AtkObject* frame = gtk_widget_get_accessible(child->GetHandle()))
                        atk_object_set_name(frame, name.utf8_str());
            }
        }
        NameUnlabelledControls(child);
    }
}

void NoToolTipsOnDisabledControls(wxWindow* root)
{
    for (wxWindow* child : root->GetChildren()) {
        if (child->IsTopLevel())
            continue;
        if (child->GetToolTip())
            for (GtkWidget* widget : {child->GetHandle(), FocusWidget(child)})
                if (widget && !g_object_get_data(G_OBJECT(widget), "pellvane-tooltip-guard")) {
                    g_signal_connect(widget, "query-tooltip", G_CALLBACK(OnQueryTooltip), nullptr);
                    g_object_set_data(G_OBJECT(widget), "pellvane-tooltip-guard", widget);
                }
        NoToolTipsOnDisabledControls(child);
    }
}

void RecheckToolTips()
{
    if (GdkDisplay* display = gdk_display_get_default())
        gtk_tooltip_trigger_tooltip_query(display);
}
