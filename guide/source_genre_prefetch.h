// The source's genres with their codes, read on a thread of its own while the
// main dialog's window and controls are being made. Reading each genre's
// first Point row walks much of the file (some 15 ms for the 40 genres of
// the sample CD-ROM on a warm disk, far longer on a real CD-ROM), and the
// not-installed list needs them before the main dialog can appear.
//
// The search engine is used from one thread at a time: while the read runs,
// the user-interface thread must not touch it. Finish() marks the end of
// that time; the main dialog calls it before its pages open any database.
// The read shows no messages: a source it cannot read leaves nothing, and
// the page then reads it itself, with its usual messages.
#pragma once

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "guide/genre_lists.h"

class CSourceGenrePrefetch {
public:
    CSourceGenrePrefetch() = default;
    ~CSourceGenrePrefetch() { Finish(); }
    CSourceGenrePrefetch(const CSourceGenrePrefetch&) = delete;
    CSourceGenrePrefetch& operator=(const CSourceGenrePrefetch&) = delete;

    // Starts reading the genres of the source database at path (CP932). A
    // read already started is finished and its result dropped first.
    void Start(const std::string& source);
    // Waits for the read to end.
    void Finish();
    // The genres read from source, once: nothing when no read of that very
    // path was started or it could not open the file. Finishes the read.
    std::optional<std::vector<SourceGenre>> Take(const std::string& source);

private:
    std::thread m_thread;
    std::string m_source;
    std::optional<std::vector<SourceGenre>> m_genres;
};

// The installer's one prefetch: started by the application, taken by the
// guide page's first fill.
CSourceGenrePrefetch& TheSourceGenrePrefetch();
