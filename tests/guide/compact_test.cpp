#include "services/compact.h"

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
        {"missing", false, true, false, {kAskOptimise, kCannot, kFailed}},
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

} // namespace
