#include "shell/instance_guard.h"

std::string BuildInstanceName(const std::string& programName)
{
    static const char* const kParts[] = {"Veltrane Corporation", "Tessra", "5.0"};
    std::string name;
    for (const char* part : kParts) {
        name += part;
        name += ':';
    }
    return name + programName;
}

CInstanceGuard::~CInstanceGuard() = default;

BOOL CInstanceGuard::Acquire(LPCTSTR name)
{
    m_lock.Release();
    if (!name)
        return FALSE;
    return m_lock.Acquire(name) ? TRUE : FALSE;
}
