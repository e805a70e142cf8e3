// One installer at a time. The guard holds the named mutex of the instance
// name for as long as it lives; it lives in the application object, so the
// mutex is held until the process ends.
#pragma once

#include <string>

#include "platform/instance_lock.h"
#include "platform/win_types.h"

// "Veltrane Corporation:Tessra:5.0:" followed by the program name.
std::string BuildInstanceName(const std::string& programName);

class CInstanceGuard {
public:
    CInstanceGuard() = default;
    virtual ~CInstanceGuard();
    CInstanceGuard(const CInstanceGuard&) = delete;
    CInstanceGuard& operator=(const CInstanceGuard&) = delete;

    // TRUE when this process now owns the mutex of name. A mutex whose owner
    // died is free and is taken over.
    virtual BOOL Acquire(LPCTSTR name);

private:
    InstanceLock m_lock;
};
