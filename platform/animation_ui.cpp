#include "platform/animation_ui.h"

#include <algorithm>
#include <cstring>

#include <wx/dcclient.h>
#include <wx/image.h>

#include "platform/avi_reader.h"
#include "services/avi_resources.h"

CAnimateCtrl::~CAnimateCtrl()
{
    m_timer.Stop();
}

bool CAnimateCtrl::Create(wxWindow* parent, wxWindowID id, const wxRect& rect, long acsStyle)
{
    if (!wxControl::Create(parent, id, rect.GetPosition(), rect.GetSize(), wxBORDER_NONE))
        return false;
    m_acsStyle = acsStyle;
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    m_timer.SetOwner(this);
    Bind(wxEVT_PAINT, &CAnimateCtrl::OnPaint, this);
    Bind(wxEVT_TIMER, &CAnimateCtrl::OnTimer, this);
    return true;
}

BOOL CAnimateCtrl::Open(UINT nID)
{
    m_timer.Stop();
    m_frames.clear();
    m_nOpenID = 0;
    m_nFrame = 0;
    Refresh();
    if (nID == 0)
        return TRUE;

    AviResource res;
    AviClip clip;
    if (!FindAviResource(nID, res) || !ReadAviClip(res.data, res.size, clip))
        return FALSE;

    // The transparent colour is that of the first frame's top-left pixel.
    const unsigned char* key = clip.frames.front().data();
    for (const auto& rgb : clip.frames) {
        wxImage image(clip.width, clip.height, false);
        std::memcpy(image.GetData(), rgb.data(), rgb.size());
        if (m_acsStyle & ACS_TRANSPARENT)
            image.SetMaskColour(key[0], key[1], key[2]);
        m_frames.emplace_back(image);
    }
    m_nOpenID = nID;
    m_frameSize = wxSize(clip.width, clip.height);
    m_nIntervalMs = clip.microSecPerFrame ? static_cast<int>(std::clamp<std::uint32_t>(clip.microSecPerFrame / 1000, 10, 10000))
                                          : 100;
    if (!(m_acsStyle & ACS_CENTER))
        SetSize(m_frameSize);
    if (m_acsStyle & ACS_AUTOPLAY)
        Play(0, 0xFFFF, static_cast<UINT>(-1));
    return TRUE;
}

BOOL CAnimateCtrl::Play(UINT nFrom, UINT nTo, UINT nRep)
{
    if (m_frames.empty())
        return FALSE;
    const int last = static_cast<int>(m_frames.size()) - 1;
    m_nFrom = static_cast<int>(std::min<UINT>(nFrom, last));
    m_nTo = static_cast<int>(std::min<UINT>(nTo, last));
    if (m_nTo < m_nFrom)
        return FALSE;
    m_nRepeatsLeft = nRep == static_cast<UINT>(-1) ? -1 : std::max<long>(1, static_cast<long>(nRep));
    m_nFrame = m_nFrom;
    Refresh();
    if (m_nTo > m_nFrom || m_nRepeatsLeft != 1)
        m_timer.Start(m_nIntervalMs);
    return TRUE;
}

BOOL CAnimateCtrl::Stop()
{
    m_timer.Stop();
    return TRUE;
}

wxSize CAnimateCtrl::DoGetBestSize() const
{
    return m_frames.empty() ? GetSize() : m_frameSize;
}

void CAnimateCtrl::OnTimer(wxTimerEvent&)
{
    if (m_nFrame < m_nTo) {
        ++m_nFrame;
    } else if (m_nRepeatsLeft == -1 || --m_nRepeatsLeft > 0) {
        m_nFrame = m_nFrom;
    } else {
        m_timer.Stop();
        return;
    }
    Refresh(false);
}

void CAnimateCtrl::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    const wxColour back = (m_acsStyle & ACS_TRANSPARENT) && GetParent() ? GetParent()->GetBackgroundColour()
                                                                          : GetBackgroundColour();
    dc.SetBackground(wxBrush(back));
    dc.Clear();
    if (m_frames.empty())
        return;
    const wxSize size = GetClientSize();
    const wxPoint at = (m_acsStyle & ACS_CENTER) ? wxPoint((size.x - m_frameSize.x) / 2, (size.y - m_frameSize.y) / 2)
                                                 : wxPoint(0, 0);
    dc.DrawBitmap(m_frames[static_cast<size_t>(m_nFrame)], at, (m_acsStyle & ACS_TRANSPARENT) != 0);
}
