// What the guide page's two genre lists show, without the windows: the
// installed genres of the destination, which genres of the source are not
// installed yet (judged by genre code), and the size label arithmetic.
// Strings are CP932, but for genre names: those are UTF-8, as the database
// holds them, since a name need not have a CP932 form (the page refuses to
// install or remove such a genre, but lists it).
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

class CSearchDb;
class CDaoDatabase;

// One installed genre, kept while the lists are shown.
struct GenreRecord {
    std::string L1;
    std::string L2;
    std::string Name; // UTF-8
    std::string GenreCode; // "" until read, and for a genre without Point rows
};

// The statements that read a genre's first TS99GenreCode: the destination's
// and the source's forms differ only in the case of "and".
extern const char* const kDestGenreCodeSql;   // "... WHERE L1='%s' and L2='%s'"
extern const char* const kSourceGenreCodeSql; // "... WHERE L1='%s' AND L2='%s'"

// The genre code of a TS99GenreCode value: its first 6 bytes (all of it when
// shorter) followed by "00".
std::string GenreCodeOf(const std::string& ts99GenreCode);

// Reads the genre code of (l1, l2) from an open database with one of the two
// statements above; leaves code unchanged when the genre has no Point row.
void ReadGenreCode(CSearchDb& db, CDaoDatabase* pDb, const char* statement, const std::string& l1,
                   const std::string& l2, std::string& code);

// The genre rows of the destination, in ORDER BY L1,L2 order, with empty
// codes. Empty when the file is missing, not guide data of the product, or
// cannot be read.
std::vector<GenreRecord> ReadInstalledGenres(CSearchDb& db, const std::string& dest, const std::string& kind);

// Sets the GenreCode of every installed genre from the open destination.
void ReadInstalledGenreCodes(CSearchDb& db, CDaoDatabase* pDest, std::vector<GenreRecord>& installed);

// One genre of the source with its code, as the not-installed list judges it.
struct SourceGenre : GenreRecord {
    bool NameUnreadable = false; // its Name could not be read: the list ends there
};

// The source's genres in ORDER BY L1,L2 order, each with its genre code, from
// an open source database. A damaged file gives the genres read before the
// damage.
std::vector<SourceGenre> ReadSourceGenres(CSearchDb& db, CDaoDatabase* pSource);

// The names (UTF-8) of the source genres whose code matches no installed
// genre's code, in their order.
std::vector<std::string> NotInstalledGenreNames(const std::vector<SourceGenre>& source,
                                                const std::vector<GenreRecord>& installed);

// The two above on the source file. Empty when the source cannot be read.
std::vector<std::string> ReadNotInstalledGenreNames(CSearchDb& db, const std::string& source,
                                                    const std::vector<GenreRecord>& installed);

// Size label: whole megabytes, remainder dropped, but at least 1 for any
// size above 0.
long SizeInMegabytes(long bytes);
// "およそ %ldMB" (CP932).
std::string SizeLabelText(long bytes);
