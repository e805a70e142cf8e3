// Address database files for the address tests, made with the engine.
#pragma once

#include <string>

#include "platform/cp932.h"
#include "searchdb/search_db.h"

namespace address_fixture {

// A database at pathUtf8 whose Property row names the product and kind; the
// level is given as the host's files give it: 3 by a version 4 row without
// a Level column, other levels by a version 5 row with one. padBytes adds a
// table of that many bytes, for files large enough to copy in steps.
inline bool MakeAddressDb(const std::string& pathUtf8, int level, const std::string& dataName = "AddressData",
                          size_t padBytes = 0)
{
    const std::string path = FromUtf8(pathUtf8);
    CSearchDb db;
    if (!db.CreateDatabase(path))
        return false;
    if (level == 3) {
        if (!db.ExecuteSQL(path, "CREATE TABLE Property (ProductName varchar(50), DataName varchar(50), "
                                 "ProductVersion varchar(20))") ||
            !db.ExecuteSQL(path, "INSERT INTO Property (ProductName, DataName, ProductVersion) VALUES ('Tessra', '" +
                                     dataName + "', '4.0')"))
            return false;
    } else {
        if (!db.ExecuteSQL(path, "CREATE TABLE Property (ProductName varchar(50), DataName varchar(50), "
                                 "ProductVersion varchar(20), Level integer)") ||
            !db.ExecuteSQL(path, "INSERT INTO Property (ProductName, DataName, ProductVersion, Level) VALUES "
                                 "('Tessra', '" + dataName + "', '5.0', " + std::to_string(level) + ")"))
            return false;
    }
    if (padBytes > 0) {
        if (!db.ExecuteSQL(path, "CREATE TABLE Pad (Data blob)") ||
            !db.ExecuteSQL(path, "INSERT INTO Pad (Data) VALUES (randomblob(" + std::to_string(padBytes) + "))"))
            return false;
    }
    return true;
}

} // namespace address_fixture
