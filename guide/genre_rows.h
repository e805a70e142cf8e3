// Deleting one genre's rows from a guide database. Strings are CP932.
#pragma once

#include <string>

#include "platform/win_types.h"

class CSearchDb;

// Deletes the genre's Category rows (12041) and Point rows (12051) in one
// transaction on one connection: either both go or the file is unchanged.
// A file that does not open has shown 2039; nothing else is shown here.
BOOL DeleteGenreRowsInOneTransaction(CSearchDb& db, const std::string& path, const std::string& l1,
                                     const std::string& l2);

// Deletes a guide database file with its rollback journal. As on the host's
// own system, a file that another program holds open is not deleted: FALSE,
// and the file stays.
BOOL RemoveDatabaseFile(const std::string& path);
