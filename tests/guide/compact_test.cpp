#include "services/compact.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "guide_fixture.h"
#include "settings/directory_settings.h"

namespace {

const std::string kCannot = "ファイルの最適化に失敗しました。\n\nTessra、Ravelin等を起動していましたら終了させて下さい。\n"
                            "ディスク空き容量が十分あるか確認してください。";
const std::string kFailed = "施設データの最適化に失敗しました。";

// Whatever becomes of the optimisation, the paths are recorded and no row is lost.
TEST(Compact, AtCloseThePathsAreRecordedAndTheRowsKept)
{
    const struct {
        const char* name;
        bool exists, changed, held;
        std::vector<std::string> said;
    } cases[] = {
        {"unchanged", true, false, false, {}},
        {"optimised", true, true, false, {kAskOptimise, "施設データの最適化が終了しました。"}},
        // The last genre went with the file, or the destination was browsed
        // to a folder without one: nothing to optimise, nothing asked.
        {"missing", false, true, false, {}},
        {"held by another program", true, true, true, {kAskOptimise, kCannot, kFailed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ScratchRegistry registry;
        const std::string guide = dir / "Guide.dbs", cd = "/media/cdrom/Guide.dbs";
        std::vector<std::string> rows;
        if (c.exists) {
            MakeGuideDb(guide, {{"1", "1", "Gone", 200}, {"1", "2", "Kept", 20, "01020000", 1}});
            SqliteFile(guide).Exec("DELETE FROM Point WHERE L2='1'"); // leaves free pages
            rows = AllRows(guide);
        }
        const std::string before = c.exists ? ReadFileBytes(guide) : "";
        std::unique_ptr<SqliteFile> holder(c.held ? new SqliteFile(guide) : nullptr);
        if (holder)
            for (const char* sql : {"PRAGMA locking_mode=EXCLUSIVE", "BEGIN EXCLUSIVE"})
                holder->Exec(sql);
        MessageRecorder messages;
        messages.Answer(IDYES);
        CSearchDb db;
        SaveAndCompactGuide(db, guide, cd, "Guide.dbs", c.changed);
        holder.reset();
        EXPECT_EQ(messages.texts(), c.said);
        EXPECT_EQ(GetGuideHdPath("Guide.dbs"), guide);
        EXPECT_EQ(GetGuideCdPath(), cd);
        EXPECT_EQ(ListDir(dir.path()), c.exists ? std::vector<std::string>{"Guide.dbs"} : std::vector<std::string>{});
        EXPECT_EQ(c.exists ? AllRows(guide) : std::vector<std::string>{}, rows);
        EXPECT_TRUE(c.said.size() == 2 && c.exists ? ReadFileBytes(guide).size() < before.size()
                                                   : ReadFileBytes(guide) == before);
    }
}

struct Owner {
    mode_t mode;
    uid_t uid;
    gid_t gid;
    bool operator==(const Owner& o) const { return mode == o.mode && uid == o.uid && gid == o.gid; }
};
std::ostream& operator<<(std::ostream& out, const Owner& o)
{
    return out << std::oct << o.mode << std::dec << " " << o.uid << ":" << o.gid;
}
Owner OwnerOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return {st.st_mode & 07777, st.st_uid, st.st_gid};
}

// Runs fn in a child process as nobody (or as we are); its exit status.
int InChild(bool asNobody, const std::function<bool()>& fn)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (asNobody && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        _exit(fn() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The compacted file keeps the old one's mode, and its owner and group where
// the runner may set them: root keeps both; nobody cannot give the file to a
// group it is not in, and keeps the mode.
TEST(Compact, TheCompactedFileKeepsModeOwnerAndGroup)
{
    const struct {
        const char* name;
        bool asNobody;
        Owner before, after;
    } cases[] = {
        {"root, the file an administrator's", false, {0660, 65534, 100}, {0660, 65534, 100}},
        {"root, a private file", false, {0600, 0, 0}, {0600, 0, 0}},
        {"nobody, in another group", true, {0664, 65534, 100}, {0664, 65534, 65534}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string guide = dir / "Guide.dbs";
        MakeGuideDb(guide, {{"1", "1", "Gone", 200}, {"1", "2", "Kept", 20, "01020000", 1}});
        SqliteFile(guide).Exec("DELETE FROM Point WHERE L2='1'");
        const std::vector<std::string> rows = AllRows(guide);
        const auto size = ReadFileBytes(guide).size();
        ASSERT_EQ(::chown(dir.path().c_str(), 65534, 65534) | ::chown(guide.c_str(), c.before.uid, c.before.gid) |
                      ::chmod(guide.c_str(), c.before.mode),
                  0);
        EXPECT_EQ(InChild(c.asNobody, [&] {
                      CSearchDb db;
                      return CompactInPlace(db, guide, "Guide.dbs") == TRUE;
                  }),
                  0);
        EXPECT_EQ(OwnerOf(guide), c.after);
        EXPECT_LT(ReadFileBytes(guide).size(), size);
        EXPECT_EQ(AllRows(guide), rows);
        EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"Guide.dbs"});
    }
}

// A compaction killed before its rename leaves its temporary; the next one
// removes it, but never a file of the user's that took its name since, nor
// the user's own db<N>.dbs files.
TEST(Compact, ATemporaryLeftByAKilledCompactionGoesAtTheNextOne)
{
    const struct {
        const char* name;
        bool userTakesTheName;
        std::vector<std::string> after;
    } cases[] = {
        {"left as it was", false, {"Guide.dbs", "db2.dbs", "db3.dbs"}},
        {"replaced by the user's file", true, {"Guide.dbs", "db1.dbs", "db2.dbs", "db3.dbs"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string guide = dir / "Guide.dbs";
        MakeGuideDb(guide, {{"1", "1", "Gone", 200}, {"1", "2", "Kept", 20, "01020000", 1}});
        SqliteFile(guide).Exec("DELETE FROM Point WHERE L2='1'");
        const std::vector<std::string> rows = AllRows(guide);
        ASSERT_EQ(InChild(false, [&] {
                      SetCompactBeforeRenameHook([] { _exit(9); });
                      CSearchDb db;
                      CompactInPlace(db, guide, "Guide.dbs");
                      return true;
                  }),
                  9);
        ASSERT_EQ(DbTempFiles(dir.path()), std::vector<std::string>{"db1.dbs"});
        if (c.userTakesTheName) {
            std::remove((dir / "db1.dbs").c_str());
            WriteFileBytes(dir / "db1.dbs", ReadFileBytes(guide));
        }
        const std::string users = ReadFileBytes(guide);
        WriteFileBytes(dir / "db2.dbs", users);        // a search database of the user's
        WriteFileBytes(dir / "db3.dbs", "my notes\n"); // and some other file
        const std::string leftover = ReadFileBytes(dir / "db1.dbs");
        CSearchDb db;
        EXPECT_TRUE(CompactInPlace(db, guide, "Guide.dbs"));
        EXPECT_EQ(ListDir(dir.path()), c.after);
        EXPECT_EQ(AllRows(guide), rows);
        EXPECT_EQ(ReadFileBytes(dir / "db2.dbs"), users);
        EXPECT_EQ(ReadFileBytes(dir / "db3.dbs"), "my notes\n");
        if (c.userTakesTheName) {
            EXPECT_EQ(ReadFileBytes(dir / "db1.dbs"), leftover);
        }
    }
}

} // namespace
