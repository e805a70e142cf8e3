// Installing a 200 MB address database with the installer's copy routine
// (temporary file, fsync, rename over the installed file, progress and
// cancel checks) against `cp` of the same file followed by `sync` of the
// copy, in the same run, on the same disk. Rounds alternate which goes
// first; the medians are compared.
//
//   bench-address-install [--size-mb N] [--rounds N] [--dir PATH] [--variants]

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/file_copy.h"
#include "platform/cp932.h"

namespace {

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool MakeSource(const std::string& path, size_t bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::mt19937_64 gen(42);
    std::vector<std::uint64_t> block(1 << 17); // 1 MiB
    for (size_t done = 0; done < bytes;) {
        for (auto& w : block)
            w = gen();
        const size_t n = std::min(bytes - done, block.size() * sizeof(std::uint64_t));
        if (std::fwrite(block.data(), 1, n, f) != n) {
            std::fclose(f);
            return false;
        }
        done += n;
    }
    const bool ok = std::fflush(f) == 0 && fsync(fileno(f)) == 0;
    return std::fclose(f) == 0 && ok;
}

// One installation with the routine; seconds, or -1 on failure.
double Ours(const std::string& source, const std::string& folder, const CopyOptions& options)
{
    std::string error;
    std::uint64_t reports = 0;
    auto progress = [&](std::uint64_t, std::uint64_t) {
        ++reports;
        return true;
    };
    const double t0 = Now();
    const CopyResult r = InstallFileCopy(FromUtf8(source), FromUtf8(folder), "Address.dbs", progress, error, options);
    const double t = Now() - t0;
    if (r != CopyResult::Done) {
        std::fprintf(stderr, "copy failed: %s\n", ToUtf8(error).c_str());
        return -1;
    }
    return t;
}

double Baseline(const std::string& source, const std::string& folder)
{
    // Like the installation, cp replaces the copy of the round before.
    const std::string target = folder + "/cp-copy.dbs";
    const std::string command = "cp '" + source + "' '" + target + "' && sync '" + target + "'";
    const double t0 = Now();
    const int rc = std::system(command.c_str());
    const double t = Now() - t0;
    return rc == 0 ? t : -1;
}

} // namespace

int main(int argc, char** argv)
{
    size_t sizeMb = 200;
    int rounds = 5;
    bool variants = false;
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--size-mb") && i + 1 < argc)
            sizeMb = std::strtoul(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--dir") && i + 1 < argc)
            base = argv[++i];
        else if (!std::strcmp(argv[i], "--variants"))
            variants = true;
        else {
            std::fprintf(stderr, "usage: %s [--size-mb N] [--rounds N] [--dir PATH] [--variants]\n", argv[0]);
            return 2;
        }
    }

    std::string work = base + "/pellvane-bench-XXXXXX";
    if (!mkdtemp(&work[0])) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string source = work + "/Adr_L.dbs";
    const std::string folder = work + "/hd";
    mkdir(folder.c_str(), 0777);
    if (!MakeSource(source, sizeMb << 20)) {
        std::fprintf(stderr, "cannot write %s\n", source.c_str());
        return 1;
    }

    struct Variant {
        const char* name;
        CopyOptions options;
    };
    std::vector<Variant> list;
    list.push_back({"ours", CopyOptions()});
    if (variants) {
        for (size_t mib : {1, 16}) {
            CopyOptions o;
            o.chunkBytes = mib << 20;
            list.push_back({mib == 1 ? "ours, 1 MiB steps" : "ours, 16 MiB steps", o});
        }
        CopyOptions o;
        o.allowKernelCopy = false;
        list.push_back({"ours, buffered", o});
    }

    std::vector<std::vector<double>> ours(list.size());
    std::vector<double> baseline;
    bool failed = false;
    for (int r = 0; r < rounds && !failed; ++r) {
        auto runOurs = [&] {
            for (size_t v = 0; v < list.size(); ++v) {
                const double t = Ours(source, folder, list[v].options);
                failed |= t < 0;
                ours[v].push_back(t);
            }
        };
        auto runBaseline = [&] {
            const double t = Baseline(source, folder);
            failed |= t < 0;
            baseline.push_back(t);
        };
        if (r % 2 == 0) {
            runOurs();
            runBaseline();
        } else {
            runBaseline();
            runOurs();
        }
    }
    (void)!std::system(("rm -rf '" + work + "'").c_str());
    if (failed) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }

    const double target = 1.2;
    const double b = Median(baseline);
    std::printf("%-40s %10s %10s %7s %7s %6s\n", "name", "ours", "baseline", "ratio", "target", "holds");
    for (size_t v = 0; v < list.size(); ++v) {
        const double o = Median(ours[v]);
        const std::string name = "install " + std::to_string(sizeMb) + " MB (" + list[v].name + ")";
        std::printf("%-40s %9.3fs %9.3fs %7.2f %7.1f %6s\n", name.c_str(), o, b, o / b, target,
                    o / b <= target ? "yes" : "no");
    }
    std::printf("(median of %d rounds; baseline: cp + sync of the copy)\n", rounds);
    return 0;
}
