// A database copied onto read-only media together with the rollback journal
// of a transaction cut short, the journal readable by its owner alone. Nothing
// can play it back there, and the file without it holds half a transaction:
// the engine must refuse it (as SQLite does when it may lock and look for
// journals; an immutable or lock-free open would read the half).
#include <gtest/gtest.h>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "guide/guide_fixture.h"
#include "media/media_files.h"
#include "support/test_mount.h"

namespace {

// Runs fn in a child process as the user nobody; its exit status.
int AsNobody(const std::function<int()>& fn)
{
    const passwd* nobody = getpwnam("nobody");
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
            _exit(99);
        _exit(fn());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(HotJournal, ReadOnlyMediaWithAJournalTheUserCannotReadIsRefused)
{
    if (geteuid() != 0 || !getpwnam("nobody"))
        GTEST_SKIP() << "needs root and the user nobody";
    TempDir cd;
    ASSERT_EQ(chmod(cd.path().c_str(), 0755), 0);
    const std::string path = cd / "Guide.dbs";
    MakeGuideDb(path, {{"1", "1", "Banks", 300, "01010000"}});
    media::LeaveHotJournal(path, "DELETE FROM Point;");
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    ASSERT_EQ(chmod((path + "-journal").c_str(), 0600), 0);
    std::string why;
    auto ro = TestMount::ReadOnly(cd.path(), why);
    if (!ro)
        GTEST_SKIP() << "no read-only media here: " << why;

    // The engine does not open it.
    EXPECT_EQ(AsNobody([&] {
                  MessageRecorder messages;
                  CSearchDb db;
                  const bool used = db.IsProductData(path, "GuideData") || db.CountRecords(path, "SELECT * FROM Point") >= 0;
                  const std::vector<std::string> expected(2, media::Message(2039, path));
                  return used ? 1 : messages.texts() == expected ? 0 : 2;
              }),
              0);
    ro.reset();
    EXPECT_EQ(RowCount(path, "Point"), 300); // rolled back where it can be
}

} // namespace
