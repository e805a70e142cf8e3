// Benchmarks of the guide page, each against a baseline measured in the same
// run:
//   page start     the page's initialisation, lists filled, against the same
//                  queries run straight through SQLite plus filling two bare
//                  lists with the same items;
//   selection      a selection change over 100 genres with a warm size cache
//                  (the source file is moved away meanwhile, so any database
//                  work would show), against the same change with a cold cache;
//   optimisation   compacting in place, against the sqlite3 shell's VACUUM
//                  INTO of the same file followed by sync of the result.
// Run under an X server: xvfb-run -a bench-guide-page [work folder]
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/dataview.h>
#include <wx/frame.h>
#include <wx/init.h>

#include "guide/genre_list_ctrl.h"
#include "guide/guide_page.h"
#include "guide_fixture.h"
#include "platform/message_box.h"
#include "platform/wx_hooks.h"
#include "services/compact.h"
#include "settings/directory_settings.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class BenchPage : public CGuidePage {
public:
    using CGuidePage::m_listNotInstalled;
    using CGuidePage::m_nSelectedSize;
    using CGuidePage::m_sizeCache;

    void SelectFirst(int count)
    {
        for (int i = 0; i < count; ++i)
            m_listNotInstalled->SelectRow(static_cast<unsigned>(i));
    }
    void SelectionChanged()
    {
        wxDataViewEvent event(wxEVT_DATAVIEW_SELECTION_CHANGED, m_listNotInstalled, wxDataViewItem());
        m_listNotInstalled->ProcessWindowEvent(event);
    }
};

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Time(const std::function<void()>& fn)
{
    const auto t0 = Clock::now();
    fn();
    return Ms(Clock::now() - t0);
}

struct Result {
    std::string name;
    double ours;
    double baseline;
    double target; // ours / baseline at most this
};

void Print(const std::vector<Result>& results)
{
    std::printf("%-44s %12s %12s %8s %8s  %s\n", "name", "ours", "baseline", "ratio", "target", "holds");
    for (const Result& r : results) {
        const double ratio = r.ours / r.baseline;
        std::printf("%-44s %9.3f ms %9.3f ms %8.3f %6s%.2f  %s\n", r.name.c_str(), r.ours, r.baseline, ratio,
                    "<= ", r.target, ratio <= r.target ? "yes" : "NO");
    }
}

int g_messages = 0;

std::vector<FixtureGenre> Genres(int count, int points, std::vector<std::string>& codes)
{
    codes.resize(static_cast<size_t>(count));
    std::vector<FixtureGenre> genres;
    for (int i = 0; i < count; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "%06d99", i + 1);
        codes[static_cast<size_t>(i)] = code;
        char name[64];
        std::snprintf(name, sizeof name, "ジャンル%03d", i);
        genres.push_back({std::to_string(i / 20 + 1), std::to_string(i % 20 + 1), name, points,
                          codes[static_cast<size_t>(i)].c_str(), 1});
    }
    return genres;
}

// What the two fills must do at the least, straight through SQLite.
std::vector<std::string> RawFill(const std::string& source, const std::string& dest)
{
    auto genreRows = [](sqlite3* db, const char* sql) {
        std::vector<std::vector<std::string>> rows;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            rows.push_back({reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
                            reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
                            reinterpret_cast<const char*>(sqlite3_column_text(st, 2))});
        sqlite3_finalize(st);
        return rows;
    };
    auto code = [](sqlite3_stmt* st, const std::string& l1, const std::string& l2) {
        sqlite3_bind_text(st, 1, l1.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 2, l2.c_str(), -1, SQLITE_STATIC);
        std::string c;
        if (sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(st, 0);
            c = std::string(t ? reinterpret_cast<const char*>(t) : "").substr(0, 6) + "00";
        }
        sqlite3_reset(st);
        return c;
    };

    std::set<std::string> installed;
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    sqlite3_open_v2(dest.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_prepare_v2(db, "SELECT TS99GenreCode FROM Point WHERE L1=? AND L2=?", -1, &st, nullptr);
    for (const auto& row : genreRows(db, "SELECT L1,L2,Name FROM Category WHERE L3='0' ORDER BY L1,L2"))
        installed.insert(code(st, row[0], row[1]));
    sqlite3_finalize(st);
    sqlite3_close(db);

    std::vector<std::string> names;
    sqlite3_open_v2(source.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_prepare_v2(db, "SELECT TS99GenreCode FROM Point WHERE L1=? AND L2=?", -1, &st, nullptr);
    for (const auto& row : genreRows(db, "SELECT L1,L2,Name FROM Category WHERE L3='0' ORDER BY L1,L2"))
        if (!installed.count(code(st, row[0], row[1])))
            names.push_back(row[2]);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return names;
}

int Run(const std::string& workDir)
{
    fs::remove_all(workDir);
    fs::create_directories(workDir + "/cd");
    fs::create_directories(workDir + "/hd");
    fs::create_directories(workDir + "/reg");
    setenv("TESSRA_REGISTRY_DIR", (workDir + "/reg").c_str(), 1);
    const std::string source = workDir + "/cd/Guide.dbs";
    const std::string dest = workDir + "/hd/Guide.dbs";

    std::vector<std::string> sourceCodes, destCodes;
    MakeGuideDb(source, Genres(500, 20, sourceCodes));
    std::vector<FixtureGenre> installed = Genres(500, 20, destCodes);
    installed.resize(250);
    MakeGuideDb(dest, installed);
    SetGuideCdPath(source.c_str());
    SetGuideHdPath(dest.c_str());

    wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "bench");
    frame->SetClientSize(600, 400);
    frame->Show();
    std::vector<Result> results;

    // Page start.
    {
        std::vector<double> ours, base;
        for (int run = 0; run < 5; ++run) {
            BenchPage* page = new BenchPage;
            ours.push_back(Time([&] { page->Create(frame); }));
            if (page->m_listNotInstalled->GetItemCount() != 250)
                std::fprintf(stderr, "unexpected list: %d items\n", page->m_listNotInstalled->GetItemCount());
            page->Destroy();
            wxTheApp->ProcessPendingEvents();

            base.push_back(Time([&] {
                const std::vector<std::string> names = RawFill(source, dest);
                for (int l = 0; l < 2; ++l) {
                    auto* list = new wxDataViewListCtrl(frame, wxID_ANY, wxPoint(0, 0), wxSize(200, 200),
                                                        wxDV_MULTIPLE | wxDV_NO_HEADER);
                    list->AppendTextColumn("x", wxDATAVIEW_CELL_INERT, 150);
                    for (size_t i = 0; i < (l == 0 ? names.size() : 250u); ++i) {
                        wxVector<wxVariant> values;
                        values.push_back(wxVariant(wxString::FromUTF8(names[i % names.size()])));
                        list->AppendItem(values, i);
                    }
                    list->Destroy();
                }
            }));
        }
        results.push_back({"page start (500 source, 250 installed)", Median(ours), Median(base), 1.5});
    }

    // Selection change over 100 genres.
    {
        BenchPage* page = new BenchPage;
        page->Create(frame);
        page->SelectFirst(100);
        std::vector<double> cold, warm;
        for (int run = 0; run < 5; ++run) {
            page->m_sizeCache.clear();
            cold.push_back(Time([&] { page->SelectionChanged(); }));
        }
        const long expected = page->m_nSelectedSize;
        fs::rename(source, source + ".away");
        g_messages = 0;
        for (int run = 0; run < 200; ++run)
            warm.push_back(Time([&] { page->SelectionChanged(); }));
        fs::rename(source + ".away", source);
        if (g_messages != 0 || page->m_nSelectedSize != expected || expected != 100 * (20 * 400 + 2 * 200)) {
            std::fprintf(stderr, "warm selection touched the database: %d messages, size %ld of %ld\n", g_messages,
                         page->m_nSelectedSize, expected);
            return 1;
        }
        results.push_back({"selection of 100, warm cache (vs cold)", Median(warm), Median(cold), 0.05});
        page->Destroy();
    }

    // Optimisation.
    {
        const std::string big = workDir + "/big.dbs";
        std::vector<std::string> codes;
        MakeGuideDb(big, Genres(500, 200, codes));
        {
            SqliteFile f(big);
            f.Exec("DELETE FROM Point WHERE CAST(L2 AS INTEGER) % 2 = 0");
            f.Exec("DELETE FROM Category WHERE L3='0' AND CAST(L2 AS INTEGER) % 2 = 0");
        }
        const std::string work = workDir + "/hd/Guide.dbs";
        const std::string out = workDir + "/hd/out.dbs";
        auto fresh = [&] {
            fs::remove(work);
            fs::remove(out);
            fs::copy_file(big, work);
            ::sync();
        };
        auto shell = [](std::vector<const char*> argv) {
            argv.push_back(nullptr);
            const pid_t pid = fork();
            if (pid == 0) {
                execvp(argv[0], const_cast<char* const*>(argv.data()));
                _exit(127);
            }
            int status = 0;
            waitpid(pid, &status, 0);
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        };
        std::vector<double> ours, base;
        CSearchDb db;
        const std::string vacuum = "VACUUM INTO '" + out + "'";
        for (int run = 0; run < 5; ++run) {
            fresh();
            base.push_back(Time([&] {
                if (!shell({"sqlite3", work.c_str(), vacuum.c_str()}) || !shell({"sync", out.c_str()}))
                    std::fprintf(stderr, "sqlite3 shell failed\n");
            }));
            fresh();
            ours.push_back(Time([&] {
                if (!CompactInPlace(db, work, "Guide.dbs"))
                    std::fprintf(stderr, "compaction failed\n");
            }));
        }
        char name[80];
        std::snprintf(name, sizeof name, "optimisation (%.1f MB file)", static_cast<double>(fs::file_size(big)) / 1048576);
        results.push_back({name, Median(ours), Median(base), 1.2});
    }

    frame->Destroy();
    Print(results);
    fs::remove_all(workDir);
    return 0;
}

class BenchApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

} // namespace

int main(int argc, char** argv)
{
    wxApp::SetInstance(new BenchApp);
    if (!wxEntryStart(argc, argv)) {
        std::fprintf(stderr, "cannot initialise wxWidgets (run under xvfb-run)\n");
        return 1;
    }
    wxTheApp->CallOnInit();
    InstallWxWaitCursorHooks();
    SetMessageBoxHandler([](const std::string&, UINT type) {
        ++g_messages;
        return (type & MB_YESNO) ? IDNO : IDOK;
    });
    const std::string workDir =
        argc > 1 ? argv[1] : fs::absolute(fs::path(argv[0]).parent_path() / "bench-guide-page-work").string();
    const int rc = Run(workDir);
    wxTheApp->OnExit();
    wxEntryCleanup();
    return rc;
}
