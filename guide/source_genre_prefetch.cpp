#include "guide/source_genre_prefetch.h"

#include <system_error>

#include "address/path_functions.h"
#include "searchdb/search_db.h"
#include "searchdb/search_handles.h"

namespace {

std::optional<std::vector<SourceGenre>> ReadQuietly(const std::string& source)
{
    if (!FileExists(source))
        return std::nullopt;
    CSearchDb db;
    CDaoDatabase database;
    try {
        // As the page opens it, without the message a failed open shows.
        database.Open(source, TRUE, TRUE, searchdb::ConnectString());
    } catch (const CDaoException&) {
        return std::nullopt;
    }
    std::vector<SourceGenre> genres = ReadSourceGenres(db, &database);
    database.Close();
    return genres;
}

} // namespace

void CSourceGenrePrefetch::Start(const std::string& source)
{
    Finish();
    m_source = source;
    m_genres.reset();
    try {
        m_thread = std::thread([this, source] {
            try {
                m_genres = ReadQuietly(source);
            } catch (...) {
                m_genres.reset();
            }
        });
    } catch (const std::system_error&) {
        // No thread to spare: the page reads the source itself.
    }
}

void CSourceGenrePrefetch::Finish()
{
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<std::vector<SourceGenre>> CSourceGenrePrefetch::Take(const std::string& source)
{
    Finish();
    std::optional<std::vector<SourceGenre>> genres;
    if (source == m_source)
        genres.swap(m_genres);
    m_genres.reset();
    m_source.clear();
    return genres;
}

CSourceGenrePrefetch& TheSourceGenrePrefetch()
{
    static CSourceGenrePrefetch prefetch;
    return prefetch;
}
