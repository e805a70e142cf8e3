// make-sample-cd: writes a sample CD-ROM folder of search data.
//
//   make-sample-cd OUTDIR [--genres N] [--points-per-genre N] [--seed N]
//                  [--data-version V]
//
// Guide.dbs: the root row, six groups, N genres spread over them (more
// genres than names get numbered names), three sub-category rows per genre
// and the points of every genre, each column filled. Adr_S.dbs (level 3)
// and Adr_L.dbs (level 4): address data of a dozen prefectures. The same
// seed always gives the same files. Each file is written under a temporary
// name and renamed into place when complete. Every file's DataVersion is V
// (default 2024.1).
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "res/strings.h"
#include "sample_data.h"
#include "searchdb/dao_file.h"

namespace {

using namespace sample_cd;

std::string g_dataVersion = "2024.1";

// A value for a statement, single quotes doubled.
std::string Quoted(const std::string& s)
{
    std::string out = "'";
    for (char c : s) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}


class Db {
public:
    explicit Db(const std::string& path)
    {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot create " + path);
    }
    ~Db() { sqlite3_close_v2(m_db); }

    void Exec(const std::string& sql)
    {
        char* err = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            const std::string what = err ? err : "?";
            sqlite3_free(err);
            throw std::runtime_error(what + ": " + sql);
        }
    }
    sqlite3* get() { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

// A prepared INSERT whose values are bound in column order.
class Insert {
public:
    Insert(Db& db, const char* table, int columns) : m_db(db)
    {
        std::string sql = std::string("INSERT INTO ") + table + " VALUES (";
        for (int i = 0; i < columns; ++i)
            sql += i ? ",?" : "?";
        sql += ")";
        if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &m_stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db.get()));
    }
    ~Insert() { sqlite3_finalize(m_stmt); }

    Insert& Text(const std::string& s)
    {
        sqlite3_bind_text(m_stmt, ++m_i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Insert& Int(long long v)
    {
        sqlite3_bind_int64(m_stmt, ++m_i, v);
        return *this;
    }
    Insert& Null(int n = 1)
    {
        while (n-- > 0)
            sqlite3_bind_null(m_stmt, ++m_i);
        return *this;
    }
    void Run()
    {
        if (sqlite3_step(m_stmt) != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(m_db.get()));
        sqlite3_reset(m_stmt);
        m_i = 0;
    }

private:
    Db& m_db;
    sqlite3_stmt* m_stmt = nullptr;
    int m_i = 0;
};

// The two header values that make a file a search database ("tamarix5").
void WriteHeader(Db& db)
{
    db.Exec("PRAGMA application_id=" + std::to_string(dao::kApplicationId) +
            ";PRAGMA user_version=" + std::to_string(dao::PasswordHash("tamarix5")));
    // Bulk building: the file is renamed into place only when complete.
    db.Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536");
}

void CreateTables(Db& db)
{
    for (unsigned id : {10030u, 10010u, 10020u})
        db.Exec(LoadResStringUtf8(id));
}

void CreateIndexes(Db& db)
{
    for (unsigned id : {11010u, 11020u, 11030u, 11040u, 11041u, 11050u, 11060u, 11070u, 11080u, 11090u, 11100u, 11110u,
                        11120u, 11130u, 11140u, 11150u, 11091u, 11151u, 11152u})
        db.Exec(LoadResStringUtf8(id));
}

void AddCategory(Insert& ins, const std::vector<std::string>& levels, const std::string& name, const std::string& reading)
{
    for (size_t i = 0; i < 8; ++i) {
        if (i < levels.size())
            ins.Text(levels[i]);
        else
            ins.Null();
    }
    ins.Text(name).Text(reading).Run();
}

struct Counts {
    long groups = 0, genres = 0, categories = 0, points = 0;
};

Counts WriteGuide(const std::string& path, int genreCount, int pointsPerGenre, std::uint64_t seed)
{
    Random rnd(seed);
    Db db(path);
    WriteHeader(db);
    CreateTables(db);
    db.Exec("BEGIN");
    db.Exec("INSERT INTO Property VALUES ('Tessra','5.0','GuideData'," + Quoted(g_dataVersion) +
            ",'Veltrane Corporation','(C) Veltrane Corporation','施設データ サンプル')");
    Insert category(db, "Category", 10);
    Insert point(db, "Point", 21);
    Counts counts;
    AddCategory(category, {"0"}, "施設", "シセツ");
    ++counts.categories;

    const auto& groups = Groups();
    const auto& prefs = Prefectures();
    const int nGroups = static_cast<int>(groups.size());
    std::vector<int> perGroup(nGroups, 0);
    for (int g = 0; g < nGroups && g < genreCount; ++g) {
        AddCategory(category, {std::to_string(g + 1), "0"}, groups[g].name.name, groups[g].name.reading);
        ++counts.groups;
        ++counts.categories;
    }
    for (int i = 0; i < genreCount; ++i) {
        const int g = i % nGroups;
        const Group& group = groups[g];
        const int k = perGroup[g]++;
        const Named& base = group.genres[k % group.genres.size()];
        const int round = static_cast<int>(k / group.genres.size());
        const std::string genre = base.name + (round ? WideNumber(round + 1) : "");
        const std::string genreReading = base.reading + (round ? WideNumber(round + 1) : "");
        const std::string l1 = std::to_string(g + 1);
        const std::string l2 = std::to_string(k + 1);
        AddCategory(category, {l1, l2, "0"}, genre, genreReading);
        for (int s = 0; s < 3; ++s)
            AddCategory(category, {l1, l2, std::to_string(s + 1), "0"}, genre + "・" + kSubCategories[s].name,
                        genreReading + "・" + kSubCategories[s].reading);
        ++counts.genres;
        counts.categories += 4;

        char genreCode[32];
        std::snprintf(genreCode, sizeof genreCode, "%02d%04d", g + 1, k + 1);
        char searchCode[32];
        std::snprintf(searchCode, sizeof searchCode, "%02d%02d", g + 1, (k + 1) % 100);
        for (int p = 0; p < pointsPerGenre; ++p) {
            const Prefecture& pref = prefs[rnd.Below(static_cast<int>(prefs.size()))];
            const int cityIndex = rnd.Below(static_cast<int>(pref.cities.size()));
            const Named& city = pref.cities[cityIndex];
            const Named& town = kTowns[rnd.Below(16)];
            const Named& brand = kBrands[rnd.Below(10)];
            const int sub = rnd.Below(3);
            const double lon = pref.lon + 0.08 * cityIndex + (rnd.Unit() - 0.5) * 0.06;
            const double lat = pref.lat - 0.05 * cityIndex + (rnd.Unit() - 0.5) * 0.06;

            std::string name, reading;
            switch (group.style) {
            case Group::Shop:
                name = std::string(brand.name) + genre + " " + town.name + "店";
                reading = std::string(brand.reading) + genreReading + " " + town.reading + "テン";
                break;
            case Group::Lodging:
                name = std::string(town.name) + brand.name + genre;
                reading = std::string(town.reading) + brand.reading + genreReading;
                break;
            case Group::Place:
                name = std::string(town.name) + genre;
                reading = std::string(town.reading) + genreReading;
                break;
            }
            const std::string address = pref.name.name + std::string(city.name) + town.name +
                                        std::to_string(1 + rnd.Below(5)) + "丁目" + std::to_string(1 + rnd.Below(30)) +
                                        "-" + std::to_string(1 + rnd.Below(20));
            point.Text(l1).Text(l2).Text(std::to_string(sub + 1)).Null(5);
            point.Int(ArcMilliseconds(lon)).Int(ArcMilliseconds(lat));
            point.Text(name).Text(reading);
            point.Text(pref.zip + Digits(rnd, 4)).Text(address).Text(Telephone(rnd, pref.tel));
            point.Int(pref.code).Int(cityIndex + 1);
            if (g == 4) // transport: the highway the place lies on
                point.Int(1000 + rnd.Below(200));
            else
                point.Null();
            point.Text(MeshCode(lon, lat));
            char fullCode[48];
            std::snprintf(fullCode, sizeof fullCode, "%s%02d", genreCode, sub + 1);
            point.Text(fullCode);
            point.Text(searchCode).Run();
            ++counts.points;
        }
    }
    db.Exec("COMMIT");
    CreateIndexes(db);
    return counts;
}

long WriteAddress(const std::string& path, int level, std::uint64_t seed)
{
    Random rnd(seed);
    Db db(path);
    WriteHeader(db);
    // Address files carry the level of their data beside the usual columns.
    db.Exec(LoadResStringUtf8(10010));
    db.Exec(LoadResStringUtf8(10020));
    db.Exec("CREATE TABLE Property ( ProductName varchar(32) null, ProductVersion varchar(8) null, DataName varchar(32) "
            "null, DataVersion varchar(8) null, CompanyName varchar(64) null, LegalCopyright varchar(64) null, Comments "
            "varchar(255) null, Level long null )");
    db.Exec("BEGIN");
    db.Exec("INSERT INTO Property VALUES ('Tessra','5.0','AddressData'," + Quoted(g_dataVersion) +
            ",'Veltrane Corporation','(C) Veltrane Corporation','" +
            (level == 3 ? "標準住所データ" : "詳細住所データ") + "'," + std::to_string(level) + ")");
    Insert category(db, "Category", 10);
    Insert point(db, "Point", 21);
    long rows = 0;
    AddCategory(category, {"0"}, "住所", "ジュウショ");
    for (const Prefecture& pref : Prefectures()) {
        const std::string pc = std::to_string(pref.code);
        AddCategory(category, {pc, "0"}, pref.name.name, pref.name.reading);
        for (size_t c = 0; c < pref.cities.size(); ++c) {
            const Named& city = pref.cities[c];
            const std::string cc = std::to_string(c + 1);
            AddCategory(category, {pc, cc, "0"}, city.name, city.reading);
            for (int t = 0; t < 16; ++t) {
                const Named& town = kTowns[t];
                const std::string tc = std::to_string(t + 1);
                AddCategory(category, {pc, cc, tc, "0"}, town.name, town.reading);
                const std::string zip = pref.zip + Digits(rnd, 4);
                for (int chome = 1; chome <= 4; ++chome) {
                    const int houses = level == 3 ? 1 : 6;
                    for (int h = 1; h <= houses; ++h) {
                        const double lon = pref.lon + 0.08 * c + 0.003 * t + 0.0004 * chome + 0.00005 * h;
                        const double lat = pref.lat - 0.05 * c + 0.002 * t + 0.0003 * chome;
                        std::string name = std::string(town.name) + std::to_string(chome) + "丁目";
                        std::string reading = std::string(town.reading) + std::to_string(chome) + "チョウメ";
                        if (level == 4) {
                            name += std::to_string(h) + "番";
                            reading += std::to_string(h) + "バン";
                        }
                        point.Text(pc).Text(cc).Text(tc).Text(std::to_string(chome));
                        if (level == 4)
                            point.Text(std::to_string(h)).Null(3);
                        else
                            point.Null(4);
                        point.Int(ArcMilliseconds(lon)).Int(ArcMilliseconds(lat)).Text(name).Text(reading);
                        point.Text(zip).Text(pref.name.name + std::string(city.name) + name).Null();
                        point.Int(pref.code).Int(static_cast<long long>(c) + 1).Null().Text(MeshCode(lon, lat)).Null(2).Run();
                        ++rows;
                    }
                }
            }
        }
    }
    db.Exec("COMMIT");
    CreateIndexes(db);
    return rows;
}

void SyncFile(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f) {
        fsync(fileno(f));
        std::fclose(f);
    }
}

// Writes one file under a temporary name, then renames it into place.
template <typename Write>
void WriteFile(const std::string& dir, const std::string& name, Write write)
{
    const std::string final = dir + "/" + name;
    const std::string temp = dir + "/." + name + ".tmp";
    std::remove(temp.c_str());
    try {
        write(temp);
        SyncFile(temp);
        if (std::rename(temp.c_str(), final.c_str()) != 0)
            throw std::runtime_error("cannot rename " + temp + " to " + final + ": " + std::strerror(errno));
    } catch (...) {
        std::remove(temp.c_str());
        throw;
    }
}

int Usage()
{
    std::fprintf(stderr, "usage: make-sample-cd OUTDIR [--genres N] [--points-per-genre N] [--seed N] "
                         "[--data-version V]\n");
    return 2;
}

bool MakeFolders(const std::string& path)
{
    std::string partial;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
                return false;
        }
        if (i < path.size())
            partial += path[i];
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

int main(int argc, char** argv)
{
    std::string outDir;
    long genres = 24;
    long pointsPerGenre = 50;
    unsigned long long seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto number = [&](long long lo, long long hi, long long& out) {
            if (i + 1 >= argc)
                return false;
            char* end = nullptr;
            out = std::strtoll(argv[++i], &end, 10);
            return *end == '\0' && out >= lo && out <= hi;
        };
        long long v = 0;
        if (arg == "--genres") {
            if (!number(1, 6 * 9999, v))
                return Usage();
            genres = static_cast<long>(v);
        } else if (arg == "--points-per-genre") {
            if (!number(0, 100000000, v))
                return Usage();
            pointsPerGenre = static_cast<long>(v);
        } else if (arg == "--seed") {
            if (!number(0, INT64_MAX, v))
                return Usage();
            seed = static_cast<unsigned long long>(v);
        } else if (arg == "--data-version") {
            // The column holds 8 characters.
            if (i + 1 >= argc || !*argv[i + 1] || std::strlen(argv[i + 1]) > 8)
                return Usage();
            g_dataVersion = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && outDir.empty()) {
            outDir = arg;
        } else {
            return Usage();
        }
    }
    if (outDir.empty())
        return Usage();
    if (!MakeFolders(outDir)) {
        std::fprintf(stderr, "make-sample-cd: cannot make folder %s: %s\n", outDir.c_str(), std::strerror(errno));
        return 1;
    }
    try {
        const auto start = std::chrono::steady_clock::now();
        Counts counts;
        WriteFile(outDir, "Guide.dbs", [&](const std::string& p) {
            counts = WriteGuide(p, static_cast<int>(genres), static_cast<int>(pointsPerGenre), seed);
        });
        long standard = 0, detailed = 0;
        WriteFile(outDir, "Adr_S.dbs", [&](const std::string& p) { standard = WriteAddress(p, 3, seed); });
        WriteFile(outDir, "Adr_L.dbs", [&](const std::string& p) { detailed = WriteAddress(p, 4, seed); });
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%s/Guide.dbs: %ld groups, %ld genres, %ld Category rows, %ld Point rows\n", outDir.c_str(),
                    counts.groups, counts.genres, counts.categories, counts.points);
        std::printf("%s/Adr_S.dbs: level 3, %ld address rows\n", outDir.c_str(), standard);
        std::printf("%s/Adr_L.dbs: level 4, %ld address rows\n", outDir.c_str(), detailed);
        std::printf("written in %.1f s\n", seconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-sample-cd: %s\n", e.what());
        return 1;
    }
    return 0;
}
