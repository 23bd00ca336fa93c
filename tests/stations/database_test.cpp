// The station database: imports, re-imports, failures, memories, and two
// programs writing at once.
#include "stations/database.h"
#include "stations/query.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

namespace {

// A schedule of n lines, varied enough to touch every field.
std::string generatedSchedule(int n, const char* szName = "Station") {
    static constexpr std::array<const char*, 6> days{"", "Mo-Fr", "Sa,Su", "1245", "1.Sa", "irr"};
    std::string text = "kHz:75;Time(UTC):93;Days:59;ITU:49;Station:201;Lng:49;Target:62;"
                       "Remarks:135;P:35;Start:60;Stop:60;\r\n";
    for (int i = 0; i < n; ++i) {
        const int kHz = 2300 + (i * 7) % 23000;
        const int start = (i * 30) % 1440;
        const int end = (start + 60 + (i % 3) * 30) % 1440;
        char line[160];
        std::snprintf(line, sizeof line, "%d%s;%02d%02d-%02d%02d;%s;XYZ;%s %d;E;Eu;/ABC;%d;;\r\n",
                      kHz, i % 4 == 0 ? ".5" : "", start / 60, start % 60, end / 60, end % 60,
                      days[static_cast<std::size_t>(i) % days.size()], szName, i,
                      i % 10 == 0 ? 8 : 1);
        text += line;
    }
    return text;
}

class StationDatabaseTest : public testing::Test {
  protected:
    std::unique_ptr<StationDatabase> openDb(DatabaseOpen* pResult = nullptr) {
        DatabaseOpen result;
        auto db = StationDatabase::open(path, &result);
        EXPECT_TRUE(result.ok) << result.error;
        if (pResult != nullptr) {
            *pResult = result;
        }
        return db;
    }
    bool import(StationDatabase& db, const std::string& text, const std::string& name) {
        std::string error;
        const ParsedFile f = parseFile(text, name);
        return db.replaceImport(f, Source::Schedule, name, &error);
    }
    TempDir dir;
    std::string path = (dir.path / "sub" / "stations.db").string();
};

TEST_F(StationDatabaseTest, ImportsFifteenThousandLinesAndReimportReplaces) {
    auto db = openDb();
    ASSERT_TRUE(db);
    ASSERT_TRUE(import(*db, generatedSchedule(15000), "sked-a26.csv"));
    ASSERT_TRUE(import(*db, generatedSchedule(20, "Other"), "sked-b25.csv"));
    EXPECT_EQ(db->all().size(), 15020u);
    // A new season of the same file replaces the old one whole.
    ASSERT_TRUE(import(*db, generatedSchedule(300, "New"), "sked-a26.csv"));
    const std::vector<Station> all = db->all();
    ASSERT_EQ(all.size(), 320u);
    EXPECT_EQ(SearchIndex(all).filter("station").size(), 0u);
    EXPECT_EQ(SearchIndex(all).filter("new").size(), 300u);

    // And it is all there again for the next program that opens the file.
    db.reset();
    auto again = openDb();
    EXPECT_EQ(again->all().size(), 320u);
}

TEST_F(StationDatabaseTest, FullDiskRollsTheImportBackWhole) {
    auto db = openDb();
    ASSERT_TRUE(import(*db, generatedSchedule(50), "sked-a26.csv"));
    // Files may not grow past a few pages from now on: the disk is full.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool bImported = import(*db, generatedSchedule(15000, "Lost"), "sked-a26.csv");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(bImported);
    const std::vector<Station> all = db->all();
    EXPECT_EQ(all.size(), 50u);
    EXPECT_EQ(SearchIndex(all).filter("lost").size(), 0u);
}

TEST_F(StationDatabaseTest, DamagedFileIsKeptAsideAndANewOneStarted) {
    std::filesystem::create_directories(dir.path / "sub");
    {
        std::ofstream junk(path, std::ios::binary);
        junk << std::string(8192, 'x');
    }
    DatabaseOpen result;
    auto db = openDb(&result);
    ASSERT_TRUE(db);
    ASSERT_FALSE(result.asideAs.empty());
    EXPECT_FALSE(result.error.empty());
    EXPECT_NE(result.asideAs.find("stations.db.damaged-"), std::string::npos);
    std::ifstream kept(result.asideAs, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, std::string(8192, 'x'));
    EXPECT_TRUE(db->all().empty());
}

TEST_F(StationDatabaseTest, UnopenableFileGivesNoDatabase) {
    std::filesystem::create_directories(path); // a directory where the file should be
    DatabaseOpen result;
    EXPECT_FALSE(StationDatabase::open(path, &result));
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST_F(StationDatabaseTest, MemoriesKeepTheirNames) {
    auto db = openDb();
    ASSERT_TRUE(db->nameMemory(37, "Radio Example"));
    ASSERT_TRUE(db->recordMemory(37, 9650000, 4));
    ASSERT_TRUE(db->recordMemory(37, 9655000, 0)); // a Read: the mode stays
    ASSERT_TRUE(db->recordMemory(1, 7000000, 2));
    const std::vector<MemoryRecord> m = db->memories();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[1].channel, 37u);
    EXPECT_EQ(m[1].frequency, 9655000u);
    EXPECT_EQ(m[1].mode, 4u);
    EXPECT_EQ(m[1].name, "Radio Example");
    EXPECT_FALSE(db->recordMemory(129, 7000000, 2));
    // A named channel is an entry of the list.
    const std::vector<Station> all = db->all();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(sourceLabel(all[0]), "memory:37");
}

// The panel records memories while the tool imports a schedule, each in
// its own connection: every write lands.
TEST_F(StationDatabaseTest, TwoWritersAtOnceLoseNothing) {
    auto panel = openDb();
    auto tool = openDb();
    std::thread importer([&] {
        for (int round = 0; round < 5; ++round) {
            EXPECT_TRUE(import(*tool, generatedSchedule(3000), "sked-a26.csv"));
            EXPECT_TRUE(
                import(*tool, generatedSchedule(10 + round), "extra" + std::to_string(round)));
        }
    });
    int recorded = 0;
    for (unsigned channel = 1; channel <= 128; ++channel) {
        recorded += panel->recordMemory(channel, 100000 + channel, 4) ? 1 : 0;
        recorded += panel->nameMemory(channel, "ch" + std::to_string(channel)) ? 1 : 0;
    }
    importer.join();
    EXPECT_EQ(recorded, 256);
    EXPECT_EQ(panel->memories().size(), 128u);
    EXPECT_EQ(panel->all().size(), 3000u + 10 + 11 + 12 + 13 + 14 + 128);
}

// The same with the tool as its own process.
TEST_F(StationDatabaseTest, ThePanelAndTheToolAtOnce) {
    auto panel = openDb();
    const std::string file = (dir.path / "sked-a26.csv").string();
    std::ofstream(file, std::ios::binary) << generatedSchedule(15000);
    const pid_t pid = fork();
    if (pid == 0) {
        setenv(szStationsEnv, path.c_str(), 1);
        execl(VELKOR_STATIONS_TOOL, "velkor-stations", "import", file.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int recorded = 0;
    for (unsigned channel = 1; channel <= 128; ++channel) {
        recorded += panel->recordMemory(channel, 100000 + channel, 4) ? 1 : 0;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(recorded, 128);
    EXPECT_EQ(panel->all().size(), 15000u);
    EXPECT_EQ(panel->memories().size(), 128u);
}

} // namespace
