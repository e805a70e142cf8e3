#include "searchdb/transaction.h"

namespace searchdb {

Transaction::Transaction(CDaoWorkspace* pWorkspace) : m_pWorkspace(pWorkspace)
{
    m_pWorkspace->BeginTrans();
}

Transaction::~Transaction() noexcept
{
    if (!m_bPending)
        return;
    try {
        m_pWorkspace->Rollback();
    } catch (...) {
        // Closing the connection rolls back whatever is left.
    }
}

void Transaction::Commit()
{
    m_bPending = false;
    m_pWorkspace->CommitTrans();
}

} // namespace searchdb
