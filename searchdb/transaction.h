// A workspace transaction owned by a scope: begun by the constructor, rolled
// back by the destructor unless committed, on every way out, an exception of
// any kind included. Declare it after the connections it covers, so that it
// ends before they close.
#pragma once

#include "searchdb/dao.h"

namespace searchdb {

class Transaction {
public:
    // Raises CDaoException when the transaction cannot begin.
    explicit Transaction(CDaoWorkspace* pWorkspace);
    ~Transaction() noexcept;
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Raises CDaoException when the commit fails; the engine has then rolled
    // the transaction back.
    void Commit();

private:
    CDaoWorkspace* m_pWorkspace;
    bool m_bPending = true;
};

} // namespace searchdb
