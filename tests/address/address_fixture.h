#pragma once

#include <string>

#include "platform/cp932.h"
#include "searchdb/search_db.h"

namespace address_fixture {

// Level 3 as the host's files give it: a version 4 Property row without a Level column.
inline bool MakeAddressDb(const std::string& pathUtf8, int level, const std::string& dataName = "AddressData")
{
    const std::string path = FromUtf8(pathUtf8), values = level == 3 ? "'4.0')" : "'5.0', " + std::to_string(level) + ")";
    CSearchDb db;
    return db.CreateDatabase(path) &&
           db.ExecuteSQL(path, "CREATE TABLE Property (ProductName varchar(50), DataName varchar(50), ProductVersion "
                               "varchar(20)" + std::string(level == 3 ? ")" : ", Level integer)")) &&
           db.ExecuteSQL(path, "INSERT INTO Property VALUES ('Tessra', '" + dataName + "', " + values);
}

} // namespace address_fixture
