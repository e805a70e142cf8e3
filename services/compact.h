// The optimisation of the hard-disk guide database at close: the engine
// compacts the file into a new one beside it, which then takes the old one's
// place in a single rename, so that the database is at every moment either
// the old file or the complete compacted one. Strings are CP932.
#pragma once

#include <functional>
#include <string>

#include "platform/win_types.h"

class CSearchDb;

// The first of <folder>db1.dbs, db2.dbs, ... that does not exist, where the
// folder is path without its trailing fileName.
std::string MakeTempDatabaseName(const std::string& path, const std::string& fileName);

// Compacts path in place. FALSE when the compaction or the replacement
// failed: the database is then as it was and no temporary file is left.
// The engine reports its own failure (2041); nothing else is shown here.
// The compacted file keeps the old one's mode, and its owner and group where
// the process may set them. A temporary that a compaction killed before its
// rename left beside the database is removed first, when it is certainly
// that compaction's file.
BOOL CompactInPlace(CSearchDb& db, const std::string& path, const std::string& fileName);

// Tests: runs hook when the compacted file is ready, just before its rename.
void SetCompactBeforeRenameHook(std::function<void()> hook);

// The guide page's close routine: records both guide paths and, when genres
// were installed or removed, offers the optimisation (2023) and reports its
// outcome (2024 or 2037).
void SaveAndCompactGuide(CSearchDb& db, const std::string& destPath, const std::string& sourcePath,
                         const std::string& guideFile, BOOL bGuideChanged);
