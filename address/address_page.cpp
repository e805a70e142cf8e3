#include "address/address_page.h"

#include "platform/dialog_units.h"

CAddressPage::CAddressPage() = default;

bool CAddressPage::Create(wxWindow* parent)
{
    if (!wxPanel::Create(parent, wxID_ANY, wxPoint(0, 0), wxDefaultSize, wxTAB_TRAVERSAL))
        return false;
    ApplyDialogFont(this);
    SetSize(DlgSize(this, 254, 154));
    return true;
}

void CAddressPage::SaveDataPaths()
{
}
