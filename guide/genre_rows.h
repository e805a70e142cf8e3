// Deleting one genre's rows from a guide database. Strings are CP932.
#pragma once

#include <string>

#include "platform/win_types.h"

class CSearchDb;
class CProgressSink;

// Copies one genre (l1, l2) from source into dest as the guide page does:
// the progress range 0 to the source's Category and Point rows of the genre
// plus 1, position 0 (which clears the cancel flag), step 1, then the
// transfer with the genre's filter. The transfer's result: 1 done,
// 0 cancelled, -1 database error, -2 not opened.
int InstallGenreRows(CSearchDb& db, CProgressSink* pProgress, const std::string& source, const std::string& dest,
                     const std::string& l1, const std::string& l2);

// Deletes the genre's Category rows (12041) and Point rows (12051) in one
// transaction on one connection: either both go or the file is unchanged.
// A file that does not open has shown 2039; nothing else is shown here.
BOOL DeleteGenreRowsInOneTransaction(CSearchDb& db, const std::string& path, const std::string& l1,
                                     const std::string& l2);

// Deletes a guide database file with its rollback journal. As on the host's
// own system, a file that another program holds open is not deleted: FALSE,
// and the file stays.
BOOL RemoveDatabaseFile(const std::string& path);
