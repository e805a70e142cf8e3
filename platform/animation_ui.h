// CAnimateCtrl: the animation control. Plays an AVI clip that the program
// carries (by resource ID) frame by frame on a timer at the clip's rate.
#pragma once

#include <memory>
#include <vector>

#include <wx/bitmap.h>
#include <wx/control.h>
#include <wx/timer.h>

#include "platform/win_types.h"

// Styles of the control.
enum : long {
    ACS_CENTER = 0x0001,      // keeps its size and centres the frames in it
    ACS_TRANSPARENT = 0x0002, // the clip's background shows the parent's
    ACS_AUTOPLAY = 0x0004,    // starts playing, endlessly, when a clip is opened
};

class CAnimateCtrl : public wxControl {
public:
    CAnimateCtrl() = default;
    ~CAnimateCtrl() override;

    bool Create(wxWindow* parent, wxWindowID id, const wxRect& rect, long acsStyle);

    // Opens clip nID (0 closes the clip in hand). Without ACS_CENTER the
    // control takes the size of the clip's frames. FALSE when the program has
    // no such clip or it cannot be decoded.
    BOOL Open(UINT nID);
    // Plays frames nFrom to nTo (0xFFFF: the last) nRep times (-1: endlessly).
    BOOL Play(UINT nFrom, UINT nTo, UINT nRep);
    BOOL Stop();
    void Close() { Open(0); }

    bool IsOpen() const { return !m_frames.empty(); }
    bool IsPlaying() const { return m_timer.IsRunning(); }
    UINT GetOpenID() const { return m_nOpenID; }
    int GetFrameCount() const { return static_cast<int>(m_frames.size()); }
    int GetCurrentFrame() const { return m_nFrame; }
    wxSize GetFrameSize() const { return m_frameSize; }
    int GetFrameInterval() const { return m_nIntervalMs; }

protected:
    wxSize DoGetBestSize() const override;

private:
    void OnPaint(wxPaintEvent& event);
    void OnTimer(wxTimerEvent& event);

    long m_acsStyle = 0;
    wxTimer m_timer;
    std::vector<wxBitmap> m_frames;
    wxSize m_frameSize;
    UINT m_nOpenID = 0;
    int m_nIntervalMs = 100;
    int m_nFrame = 0;
    int m_nFrom = 0;
    int m_nTo = 0;
    long m_nRepeatsLeft = 0; // -1: endless
};
