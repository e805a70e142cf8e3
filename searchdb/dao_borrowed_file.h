// Reading an open file through another handle (dao_borrowed_file.cpp).
// Engine-internal.
#pragma once

#include <memory>
#include <string>

struct DaoFile;

namespace dao {

// While it lives, Uri() names the lender's file for SQLite's ATTACH: the
// attached database reads through the lender's handle, read-only. What has
// been attached keeps reading after this goes, until the lender's handle
// closes; then its reads fail.
class BorrowedName {
public:
    explicit BorrowedName(const std::shared_ptr<DaoFile>& lender);
    ~BorrowedName();
    BorrowedName(const BorrowedName&) = delete;
    BorrowedName& operator=(const BorrowedName&) = delete;

    const std::string& Uri() const { return m_uri; }

private:
    unsigned long m_id = 0;
    std::string m_uri;
};

} // namespace dao
