#include "guide/genre_list_ctrl.h"

#include <algorithm>

#include "platform/wx_text.h"

CGenreListCtrl::CGenreListCtrl(wxWindow* parent, wxWindowID id, const wxRect& rect)
    : wxDataViewListCtrl(parent, id, rect.GetPosition(), rect.GetSize(),
                         wxDV_MULTIPLE | wxDV_NO_HEADER | wxBORDER_THEME)
{
}

void CGenreListCtrl::InsertColumn(const wxString& heading, int width)
{
    AppendIconTextColumn(wxString(), wxDATAVIEW_CELL_INERT, width, wxALIGN_LEFT, 0);
    m_heading = heading;
    Bind(wxEVT_IDLE, &CGenreListCtrl::OnFirstIdle, this);
}

void CGenreListCtrl::OnFirstIdle(wxIdleEvent& event)
{
    event.Skip();
    Unbind(wxEVT_IDLE, &CGenreListCtrl::OnFirstIdle, this);
    if (wxDataViewColumn* column = GetColumn(0))
        column->SetTitle(m_heading);
}

void CGenreListCtrl::InsertItem(int index, const std::string& nameUtf8, wxUIntPtr data)
{
    index = std::clamp(index, 0, GetItemCount());
    wxVector<wxVariant> values;
    wxVariant value;
    value << wxDataViewIconText(WxFromUtf8(nameUtf8), wxBitmapBundle(m_icon));
    values.push_back(value);
    wxDataViewListCtrl::InsertItem(static_cast<unsigned>(index), values, data);
    m_names.insert(m_names.begin() + index, nameUtf8);
}

void CGenreListCtrl::DeleteAllItems()
{
    wxDataViewListCtrl::DeleteAllItems();
    m_names.clear();
}

std::vector<int> CGenreListCtrl::GetSelectedIndexes() const
{
    wxDataViewItemArray items;
    GetSelections(items);
    std::vector<int> rows;
    rows.reserve(items.size());
    for (const wxDataViewItem& item : items) {
        const int row = ItemToRow(item);
        if (row >= 0)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CGenreListCtrl::GetNextSelectedItem(int after) const
{
    const int count = GetItemCount();
    for (int row = std::max(after + 1, 0); row < count; ++row)
        if (IsRowSelected(static_cast<unsigned>(row)))
            return row;
    return -1;
}

int CGenreListCtrl::GetSelectedCount() const
{
    return GetSelectedItemsCount();
}

std::string CGenreListCtrl::GetItemText(int n) const
{
    return n >= 0 && n < GetItemCount() ? m_names[static_cast<size_t>(n)] : std::string();
}

wxUIntPtr CGenreListCtrl::GetItemDataAt(int n) const
{
    return n >= 0 && n < GetItemCount() ? GetItemData(RowToItem(n)) : 0;
}
