// A genre list of the guide page: a one-column list with an icon before each
// name, multiple selection and no header. It is a GtkTreeView underneath,
// so keyboard users and screen readers reach it. The operations are those
// of the list views the page was designed around: items by index with text
// and item data, the next selected item after an index, counts.
#pragma once

#include <string>
#include <vector>

#include <wx/bitmap.h>
#include <wx/dataview.h>

class CGenreListCtrl : public wxDataViewListCtrl {
public:
    CGenreListCtrl(wxWindow* parent, wxWindowID id, const wxRect& rect);

    // Column 0: left-aligned, width in pixels, no header shown. The heading
    // is the column's name for screen readers; it is given to the column at
    // the first idle time, once the window is on screen, since measuring it
    // loads the header's bold face, which nothing on screen uses.
    void InsertColumn(const wxString& heading, int width);
    // The icon drawn before every item.
    void SetItemIcon(const wxBitmap& icon) { m_icon = icon; }

    // Inserts the genre name (UTF-8) at index with the given item data.
    void InsertItem(int index, const std::string& nameUtf8, wxUIntPtr data);
    void DeleteAllItems();

    // The first selected item after index (-1 searches from the start);
    // -1 when there is none.
    int GetNextSelectedItem(int after) const;
    // Every selected item, in index order.
    std::vector<int> GetSelectedIndexes() const;
    int GetSelectedCount() const;
    int GetItemCount() const { return static_cast<int>(m_names.size()); }
    // The name of item n as inserted, UTF-8 ("" for no such item).
    std::string GetItemText(int n) const;
    wxUIntPtr GetItemDataAt(int n) const;

private:
    void OnFirstIdle(wxIdleEvent& event);

    wxString m_heading;
    wxBitmap m_icon;
    std::vector<std::string> m_names; // UTF-8, by index
};
