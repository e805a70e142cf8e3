// Deleting one genre's rows from a guide database. Strings are CP932.
#pragma once

#include <string>

#include "platform/win_types.h"
#include "searchdb/search_db.h" // RemoveDatabaseFile, for the callers of these

class CProgressSink;

// Deletes the genre's Category rows (12041) and Point rows (12051) in one
// transaction on one connection: either both go or the file is unchanged.
// A file that does not open has shown 2039; nothing else is shown here.
BOOL DeleteGenreRowsInOneTransaction(CSearchDb& db, const std::string& path, const std::string& l1,
                                     const std::string& l2);

// The genre's L1 and L2, from its genre row in path found by name (13081).
BOOL LookupGenreByName(CSearchDb& db, const std::string& path, const std::string& name, std::string& l1,
                       std::string& l2);

// Transfers genre (l1, l2) from source to dest, the bar's range set to the
// genre's rows: TransferGenre's result.
int InstallGenreRows(CSearchDb& db, CProgressSink* pProgress, const std::string& source, const std::string& dest,
                     const std::string& l1, const std::string& l2);
// The same for a caller that has counted the genre's Category and Point
// rows already (rows, their sum).
int InstallGenreRows(CSearchDb& db, CProgressSink* pProgress, const std::string& source, const std::string& dest,
                     const std::string& l1, const std::string& l2, long rows);
// The genre's Category and Point rows in path (-1 when they cannot be counted).
void CountGenreRows(CSearchDb& db, const std::string& path, const std::string& l1, const std::string& l2,
                    long& categories, long& points);

// The group row goes with the last genre of its group.
void DeleteGroupRowIfLast(CSearchDb& db, const std::string& path, const std::string& l1);

// Deletes the guide database when no genre is left in it.
void RemoveDatabaseIfEmpty(CSearchDb& db, const std::string& path);

// Replaces the rows of the installed genre (oldL1, oldL2) in dest by those of
// genre (l1, l2) of source in one transaction: the old rows or the new, never
// neither and never both. Returns InstallGenreRows' result (-2 when dest
// does not open).
int ReplaceGenreRows(CSearchDb& db, CProgressSink* pProgress, const std::string& source, const std::string& dest,
                     const std::string& oldL1, const std::string& oldL2, const std::string& l1,
                     const std::string& l2);
