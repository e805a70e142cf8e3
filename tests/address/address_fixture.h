// Address database files for the address tests, made with the engine.
#pragma once

#include <string>

#include "platform/cp932.h"
#include "searchdb/search_db.h"

namespace address_fixture {

// A database whose Property row names the product and kind. Level 3 comes
// as the host's files give it, in a version 4 row without a Level column.
// padBytes adds a table of that size, for files copied in several steps.
inline bool MakeAddressDb(const std::string& pathUtf8, int level, const std::string& dataName = "AddressData",
                          size_t padBytes = 0)
{
    const std::string path = FromUtf8(pathUtf8);
    const bool v4 = level == 3;
    CSearchDb db;
    return db.CreateDatabase(path) &&
           db.ExecuteSQL(path, std::string("CREATE TABLE Property (ProductName varchar(50), DataName varchar(50), "
                                           "ProductVersion varchar(20)") + (v4 ? ")" : ", Level integer)")) &&
           db.ExecuteSQL(path, "INSERT INTO Property VALUES ('Tessra', '" + dataName +
                                   (v4 ? "', '4.0')" : "', '5.0', " + std::to_string(level) + ")")) &&
           (padBytes == 0 || (db.ExecuteSQL(path, "CREATE TABLE Pad (Data blob)") &&
                              db.ExecuteSQL(path, "INSERT INTO Pad VALUES (randomblob(" + std::to_string(padBytes) + "))")));
}

} // namespace address_fixture
