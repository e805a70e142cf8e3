// CSearchDb: the one door to the search database files. It holds no state:
// every operation opens what it needs by path and closes it before it
// returns; only OpenDatabase and OpenRecordset hand an object to the caller,
// who closes it with CloseRecordset and CloseDatabase.
// Paths, names and statements are CP932.
#pragma once

#include <string>

#include "platform/win_types.h"
#include "searchdb/dao.h"

class CProgressSink;

// The data kinds a file's Property row names.
extern const char* const kGuideData;   // "GuideData"
extern const char* const kAddressData; // "AddressData"

// A value substituted into a statement, with its single quotes doubled so
// that no value can change the statement.
std::string SqlValue(const std::string& valueCp932);

// String-table statement nID with its %s placeholders filled, in order, by
// the values (each quoted with SqlValue).
std::string FormatSql(UINT nID, const std::string& a);
std::string FormatSql(UINT nID, const std::string& a, const std::string& b);

class CSearchDb {
public:
    // Connection and recordsets.
    CDaoDatabase* OpenDatabase(const std::string& path, BOOL bReadOnly);
    CDaoRecordset* OpenRecordset(CDaoDatabase* pDb, const std::string& sql);
    BOOL ExecuteSQL(const std::string& path, const std::string& sql);
    BOOL CreateDatabase(const std::string& path);
    // Whether the file opens with this process's exclusive connection, that
    // is, whether no other program holds it; 2039 is shown when it does not
    // open. bReadOnly asks for a read-only connection (for a file that cannot
    // be written), which no other program's can share either.
    BOOL CanOpenExclusively(const std::string& path, BOOL bReadOnly);
    std::string GetFieldText(CDaoRecordset* pRs, const std::string& field);
    void CloseRecordset(CDaoRecordset* pRs);
    void CloseDatabase(CDaoDatabase* pDb);

    // Schema.
    BOOL CopyPropertyRows(const std::string& source, const std::string& dest);
    void CreateCategoryIndexes(const std::string& dest);
    void CreateGuidePointIndexes(const std::string& dest);

    // Queries.
    BOOL IsProductData(const std::string& path, const std::string& kind);
    int GetDataLevel(const std::string& path);
    // GetDataLevel of a file IsProductData accepts, else 0; one open.
    int GetProductDataLevel(const std::string& path, const std::string& kind);
    long CountRecords(const std::string& path, const std::string& sql);
    // Bytes the genre adds; -1 when its rows could not be counted.
    long EstimateGenreSize(const std::string& path, const std::string& l1, const std::string& l2);
    // The same for a genre of so many Category and Point rows (-1 when
    // either could not be counted).
    static long GenreSize(long categories, long points);
    BOOL GetFirstFieldText(std::string& result, const std::string& path, const std::string& sql,
                           const std::string& field);
    BOOL IsCategoryNameAbsent(const std::string& path, const std::string& name);
    BOOL DeleteGroupRow(const std::string& path, const std::string& groupCode);

    // Transfer of one genre: 1 done, 0 cancelled, -1 database error, -2 not opened.
    int TransferGenre(CProgressSink* pProgress, const std::string& source, const std::string& dest,
                      const std::string& filter, const std::string& groupCode);
    int CopyTable(CProgressSink* pProgress, CDaoDatabase* pSource, CDaoDatabase* pDest,
                  const std::string& tableSql, const std::string& filter);
    int CopyRows(CProgressSink* pProgress, CDaoRecordset* pSource, CDaoRecordset* pDest);
    // 1 the group row is there, 2 it is not, 0 the destination cannot be read.
    int FindGroupRow(const std::string& dest, const std::string& groupCode);

    // Compaction into a new file beside the source.
    BOOL CompactSearchFile(const std::string& source, const std::string& target);
};

// Creating a new guide database at dest with the Property rows of source:
// the file, Property, its rows, Category and Point with their indexes, and
// the seed row. Shows its own messages. A creation that fails after the
// file was made removes the file.
BOOL CreateSearchFile(CSearchDb& db, const std::string& source, const std::string& dest);
BOOL CreateSearchTables(CSearchDb& db, const std::string& dest);

// Deletes a search database file with its rollback journal. As on the
// host's own system, a file that any program holds open (this one
// included) is not deleted: FALSE, and the file stays; FALSE too when the
// file is not a search database of ours or cannot be removed. Shows nothing.
BOOL RemoveDatabaseFile(const std::string& path);
