// What long work needs of the progress dialog: a pump that keeps the windows
// alive and steps the bar, and the cancel flag the work reads after each step.
// The dialog implements it; tests implement it to record and to cancel.
#pragma once

#include "platform/win_types.h"

class CProgressSink {
public:
    virtual ~CProgressSink() = default;

    // Dispatches what is waiting, then steps the bar; returns the bar's
    // previous position.
    virtual int PumpAndStep() = 0;

    virtual void SetRange(int nLower, int nUpper) = 0;
    // Also clears m_bCancel.
    virtual void SetPos(int nPos) = 0;
    virtual void SetStep(int nStep) = 0;

    // Set by the cancel button, read by the work after each PumpAndStep.
    BOOL m_bCancel = FALSE;
};
