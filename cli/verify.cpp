#include "cli/command.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "address/address_data.h"
#include "platform/file_copy.h"
#include "address/path_functions.h"
#include "cli/console.h"
#include "guide/genre_lists.h"
#include "guide/genre_rows.h"
#include "platform/cp932.h"
#include "res/strings.h"
#include "searchdb/search_db.h"
#include "services/compact.h"
#include "services/free_space.h"
#include "settings/directory_settings.h"

namespace cli {

namespace {
namespace verify {

    struct Digest {
        long long rows = 0;
        std::uint64_t sum = 0; // of the rows' hashes: the order of rows does not count
        bool ok = true;
        bool operator==(const Digest& o) const { return ok && o.ok && rows == o.rows && sum == o.sum; }
    };

    std::uint64_t Fnv(std::uint64_t h, const void* data, size_t n)
    {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < n; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
        return h;
    }

    std::uint64_t Mix(std::uint64_t z)
    {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    class File {
    public:
        explicit File(const std::string& pathCp932)
        {
            std::string utf8;
            if (PathToNative(pathCp932, utf8) &&
                sqlite3_open_v2(utf8.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
                sqlite3_close(m_db);
                m_db = nullptr;
            }
        }
        ~File() { sqlite3_close(m_db); }
        File(const File&) = delete;
        File& operator=(const File&) = delete;

        bool IntegrityOk()
        {
            sqlite3_stmt* st = nullptr;
            bool ok = m_db && sqlite3_prepare_v2(m_db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
                sqlite3_step(st) == SQLITE_ROW &&
                std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) == "ok";
            sqlite3_finalize(st);
            return ok;
        }

        Digest Of(const char* table, const std::string& l1, const std::string& l2)
        {
            Digest d;
            sqlite3_stmt* st = nullptr;
            const std::string sql = std::string("SELECT * FROM ") + table + " WHERE L1=?1 AND L2=?2";
            const std::string u1 = ToUtf8(l1), u2 = ToUtf8(l2);
            if (!m_db || sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
                d.ok = false;
                return d;
            }
            sqlite3_bind_text(st, 1, u1.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text(st, 2, u2.c_str(), -1, SQLITE_STATIC);
            const int n = sqlite3_column_count(st);
            int rc;
            while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
                std::uint64_t h = 1469598103934665603ull;
                for (int i = 0; i < n; ++i) {
                    const unsigned char type = static_cast<unsigned char>(sqlite3_column_type(st, i));
                    h = Fnv(h, &type, 1);
                    if (type == SQLITE_INTEGER) {
                        const sqlite3_int64 v = sqlite3_column_int64(st, i);
                        h = Fnv(h, &v, sizeof v);
                    } else if (type == SQLITE_FLOAT) {
                        const double v = sqlite3_column_double(st, i);
                        h = Fnv(h, &v, sizeof v);
                    } else if (type != SQLITE_NULL) {
                        const void* p = sqlite3_column_blob(st, i);
                        const int len = sqlite3_column_bytes(st, i);
                        h = Fnv(h, &len, sizeof len);
                        h = Fnv(h, p, static_cast<size_t>(len));
                    }
                }
                d.sum += Mix(h);
                ++d.rows;
            }
            d.ok = rc == SQLITE_DONE;
            sqlite3_finalize(st);
            return d;
        }

    private:
        sqlite3* m_db = nullptr;
    };

    bool SameBytes(const std::string& aCp932, const std::string& bCp932)
    {
        std::string a, b;
        if (!PathToNative(aCp932, a) || !PathToNative(bCp932, b))
            return false;
        std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
        if (!fa || !fb)
            return false;
        std::istreambuf_iterator<char> ia(fa), ib(fb), end;
        for (; ia != end && ib != end; ++ia, ++ib)
            if (*ia != *ib)
                return false;
        return ia == end && ib == end;
    }

} // namespace verify
} // namespace

int Command::Verify()
{
    const Paths& p = m_paths;
    int problems = 0;
    auto problem = [&](UINT nID, const std::string& arg) {
        ShowMessage(nID, arg);
        ++problems;
    };
    // Gate (the engine's open shows 2039 itself), kind, integrity.
    auto checkFile = [&](const std::string& path, const char* kind) {
        CDaoDatabase* pDb = m_db.OpenDatabase(path, TRUE);
        const bool open = pDb->IsOpen();
        m_db.CloseDatabase(pDb);
        if (!open) {
            ++problems;
            return false;
        }
        if (!m_db.IsProductData(path, kind)) {
            problem(IDS_NOT_PRODUCT_DATA, path);
            return false;
        }
        verify::File file(path);
        if (!file.IntegrityOk()) {
            problem(IDS_DAMAGED, path);
            return false;
        }
        return true;
    };

    m_json.OpenArray("genres");
    if (FileExists(p.guideDest) && checkFile(p.guideDest, kGuideData)) {
        const std::vector<GenreRecord> installed = ReadGenres(m_db, p.guideDest);
        const bool cd = FileExists(p.guideSource) && m_db.IsProductData(p.guideSource, kGuideData);
        const std::vector<GenreRecord> onCd = cd ? ReadGenres(m_db, p.guideSource) : std::vector<GenreRecord>();
        verify::File hd(p.guideDest);
        verify::File src(cd ? p.guideSource : std::string());
        for (const GenreRecord& g : installed) {
            const verify::Digest hc = hd.Of("Category", g.L1, g.L2), hp = hd.Of("Point", g.L1, g.L2);
            m_json.Open().Str("name", ToUtf8(g.Name)).Num("category_rows", hc.rows).Num("point_rows", hp.rows);
            if (cd) {
                const GenreRecord* c = MatchOnCd(onCd, g);
                const bool same = c && src.Of("Category", c->L1, c->L2) == hc && src.Of("Point", c->L1, c->L2) == hp;
                m_json.Bool("equals_cd", same);
                if (!same)
                    problem(c ? IDS_GENRE_DIFFERS : IDS_NOT_ON_CD, g.Name);
            }
            m_json.Close();
        }
    }
    m_json.CloseArray();

    const std::string address = p.AddressDest();
    if (FileExists(address) && checkFile(address, kAddressData)) {
        const int level = m_db.GetDataLevel(address);
        const std::string cdFile = CdAddressFileOfLevel(level);
        m_json.Open("address").Num("level", level);
        if (!cdFile.empty()) {
            const bool same = verify::SameBytes(address, AddBackslash(p.addressSourceDir) + cdFile);
            m_json.Bool("equals_cd", same);
            if (!same)
                problem(IDS_FILE_DIFFERS, address);
        }
        m_json.Close();
    }
    m_json.Num("problems", problems);
    if (problems == 0)
        Note(IDS_ALL_WELL, "");
    return problems ? 1 : 0;
}

} // namespace cli
