// Retention over real archive trees that the station's own archive writes in a
// temporary program folder, over several days, with foreign files and folders
// beside them that must survive: the age limit, the free-space limit (read
// from a fake), today never deleted, and the settings file that sets them.
#include "ArchiveRetention.h"

#include "Archive.h"
#include "DeviceLists.h"
#include "ManualClock.h"
#include "StationSettings.h"
#include "TempFolder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <set>

using namespace monitor;
using testsupport::ManualClock;
namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kGib = std::uint64_t{1} << 30;
const platform::LocalTime kToday{2026, 12, 8, 14, 0, 0, 0};

std::set<std::string> treeOf(const std::string& root)
{
    std::set<std::string> tree;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(root))
        tree.insert(fs::relative(e.path(), root).string());
    return tree;
}

void writeFile(const fs::path& path, const std::string& text = "x")
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// A free-space reading made from the tree: what the test's function says for
// the number of day folders left, or a failure.
class FakeFreeSpace final : public FreeSpace
{
public:
    std::function<Reading(std::size_t daysLeft)> reading;
    Reading available(const std::string& folder) const override
    {
        ++reads;
        return reading(listArchiveDays(folder).size());
    }
    mutable int reads = 0;
};

class ArchiveRetentionTest : public ::testing::Test
{
protected:
    // Two recorders' positions, a clip and a day-folder login, written by
    // the archive itself at noon of each day from 1 to 8 December, on
    // 29 November 2025, 15 June 2024 and 2 January 2023; then the foreign
    // entries beside them.
    void SetUp() override
    {
        std::vector<platform::LocalTime> days = {
            {2023, 1, 2, 12, 0, 0, 0}, {2024, 6, 15, 12, 0, 0, 0}, {2025, 11, 29, 12, 0, 0, 0}};
        for (int d = 1; d <= 8; ++d)
            days.push_back({2026, 12, d, 12, 0, 0, 0});
        const std::vector<std::uint8_t> clip(3000, 0x5A);
        for (const platform::LocalTime& day : days) {
            m_clock.set(day);
            ASSERT_FALSE(m_archive.StorePositionSentence("BUS-12_1", "$GPRMC,1").failed());
            ASSERT_FALSE(m_archive.StorePositionSentence("AB12/3", "$GPRMC,2").failed());
            ASSERT_FALSE(m_archive.StoreClip("BUS-12_1", clip, "2").failed());
        }
        m_clock.set(kToday);
        m_archive.EnsureDeviceFolder("BUS-12_1");

        const fs::path root = this->root();
        writeFile(root / "2026/notes.txt");
        writeFile(root / "2026/13/01/BUS-12_1/120000.bin");
        writeFile(root / "2026/12/32/BUS-12_1/120000.bin");
        writeFile(root / "2026/12/1/BUS-12_1/120000.bin");
        writeFile(root / "2026/12/ab/notes.txt");
        writeFile(root / "20261201/BUS-12_1/120000.bin");
        writeFile(root / "2023/02/29/BUS-12_1/120000.bin"); // no 29 February in 2023
        writeFile(root / "backup/2026/12/01/BUS-12_1/120000.bin");
        writeFile(root / "Tessaro.journal");
        fs::create_directories(root / "2024/07"); // empty before any pass
        // A day folder of another archive, linked in as 30 November 2025.
        writeFile(m_elsewhere.path() + "BUS-12_1/120000.bin");
        fs::create_directory_symlink(m_elsewhere.path(), root / "2025/11/30");
        m_before = treeOf(this->root());
    }

    std::string root() const { return m_folder.path(); }

    // The tree before the pass without what lies under the given folders.
    std::set<std::string> beforeWithout(const std::vector<std::string>& gone) const
    {
        std::set<std::string> tree;
        for (const std::string& path : m_before) {
            bool under = false;
            for (const std::string& g : gone)
                under = under || path == g || path.starts_with(g + "/");
            if (!under)
                tree.insert(path);
        }
        return tree;
    }

    TempFolder m_folder;
    TempFolder m_elsewhere;
    ManualClock m_clock{kToday};
    DeviceLists m_lists;
    Archive m_archive{m_folder.path(), m_clock, m_lists};
    std::set<std::string> m_before;
};

} // namespace

// The layout's days only, oldest first; every foreign entry and today's folder
// survive, as do the month and year folders the pass did not empty.
TEST_F(ArchiveRetentionTest, AgeLimitDeletesOnlyTheArchivesOwnDaysOldestFirst)
{
    FakeFreeSpace plenty;
    plenty.reading = [](std::size_t) { return FreeSpace::Reading{0, 100 * kGib}; };
    ArchiveRetention retention(root(), {3, 2 * kGib}, plenty);

    const ArchiveRetention::Pass pass = retention.run(m_clock.now());

    const std::vector<std::string> deleted = {"2023/01/02", "2024/06/15", "2025/11/29",
                                              "2026/12/01", "2026/12/02", "2026/12/03",
                                              "2026/12/04", "2026/12/05"};
    EXPECT_EQ(pass.deleted, deleted);
    std::vector<std::string> lines;
    for (const std::string& day : deleted)
        lines.push_back("14:00:00 Archive: deleted the day " + day + " (older than 3 days)");
    EXPECT_EQ(pass.lines, lines);
    // 2023/01 and 2024/06 were emptied by the pass, but their years still hold
    // 2023/02 and the month 07 that was empty before; 2025/11 holds the link.
    std::vector<std::string> gone = {"2023/01", "2024/06", "2025/11/29"};
    for (int d = 1; d <= 5; ++d)
        gone.push_back("2026/12/0" + std::to_string(d));
    EXPECT_EQ(treeOf(root()), beforeWithout(gone));
    EXPECT_TRUE(fs::exists(m_elsewhere.path() + "BUS-12_1/120000.bin"));

    // A second pass finds nothing more to do, and the archive still writes today.
    EXPECT_TRUE(retention.run(m_clock.now()).lines.empty());
    EXPECT_FALSE(m_archive.StorePositionSentence("BUS-12_1", "$GPRMC,3").failed());
    EXPECT_TRUE(fs::exists(root() + "2026/12/08/BUS-12_1/140000.bin"));
}

TEST_F(ArchiveRetentionTest, FreeSpaceLimitDeletesUntilThereIsRoomButNeverToday)
{
    struct Case
    {
        const char* legend;
        int keepDays;
        std::uint64_t minFree;
        std::function<FreeSpace::Reading(std::size_t daysLeft)> reading;
        std::vector<std::string> deleted;
        std::vector<std::string> reasons; // one per line
    };
    // 11 archive days at the start.
    const auto growsAsDaysGo = [](std::size_t daysLeft) {
        return FreeSpace::Reading{0, (12 - daysLeft) * kGib};
    };
    const Case cases[] = {
        {"deletes oldest first until the minimum is free",
         0,
         4 * kGib,
         growsAsDaysGo,
         {"2023/01/02", "2024/06/15", "2025/11/29"},
         {"less than 4.0 GiB free", "less than 4.0 GiB free", "less than 4.0 GiB free"}},
        {"never today, even when there is never enough",
         0,
         2 * kGib,
         [](std::size_t) {
             return FreeSpace::Reading{0, 0};
         },
         {"2023/01/02", "2024/06/15", "2025/11/29", "2026/12/01", "2026/12/02", "2026/12/03",
          "2026/12/04", "2026/12/05", "2026/12/06", "2026/12/07"},
         std::vector<std::string>(10, "less than 2.0 GiB free")},
        {"age first, then space",
         6,
         5 * kGib,
         growsAsDaysGo,
         {"2023/01/02", "2024/06/15", "2025/11/29", "2026/12/01", "2026/12/02"},
         {"older than 6 days", "older than 6 days", "older than 6 days", "older than 6 days",
          "older than 6 days"}},
        {"age and then space",
         5,
         8 * kGib,
         growsAsDaysGo,
         {"2023/01/02", "2024/06/15", "2025/11/29", "2026/12/01", "2026/12/02", "2026/12/03",
          "2026/12/04"},
         {"older than 5 days", "older than 5 days", "older than 5 days", "older than 5 days",
          "older than 5 days", "older than 5 days", "less than 8.0 GiB free"}},
        {"no reading: the space limit deletes nothing, told once",
         0,
         2 * kGib,
         [](std::size_t) {
             return FreeSpace::Reading{EIO, 0};
         },
         {},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        TempFolder copy;
        fs::copy(root(), copy.path(),
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        FakeFreeSpace freeSpace;
        freeSpace.reading = c.reading;
        ArchiveRetention retention(copy.path(), {c.keepDays, c.minFree}, freeSpace);

        const ArchiveRetention::Pass pass = retention.run(m_clock.now());

        EXPECT_EQ(pass.deleted, c.deleted);
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < c.deleted.size(); ++i)
            lines.push_back("14:00:00 Archive: deleted the day " + c.deleted[i] + " (" +
                            c.reasons[i] + ")");
        if (c.deleted.empty()) {
            ASSERT_EQ(pass.lines.size(), 1u);
            EXPECT_EQ(pass.lines[0], "14:00:00 Archive: cannot read the free space of " +
                                         copy.path() + ": " + std::strerror(EIO));
            EXPECT_TRUE(retention.run(m_clock.now()).lines.empty()); // not told again
        } else {
            EXPECT_EQ(pass.lines, lines);
        }
        EXPECT_TRUE(fs::exists(copy.path() + "2026/12/08/BUS-12_1"));
        for (const char* foreign :
             {"2026/notes.txt", "2026/13/01", "2026/12/32", "2026/12/1", "2026/12/ab", "20261201",
              "2023/02/29", "backup/2026/12/01/BUS-12_1/120000.bin", "2024/07", "Tessaro.journal"})
            EXPECT_TRUE(fs::exists(copy.path() + foreign)) << foreign;
        EXPECT_TRUE(fs::is_symlink(copy.path() + "2025/11/30"));
    }
}

TEST(StationSettings, ArchiveLimitsAndBadValuesTakeTheirDefaults)
{
    struct Case
    {
        const char* legend;
        const char* text;
        int keepDays;
        std::uint64_t minFree;
        std::vector<std::string> problems;
    };
    const Case cases[] = {
        {"no file or empty: no age limit, 2 GiB", "", 0, 2 * kGib, {}},
        {"both set, any case, spaces, comments, other sections",
         "; station\r\n[Option]\r\nKEEP_DAYS=1\r\n[ archive ]\r\n keep_days = 30 \r\n"
         "# free\r\nMin_Free_GiB=0.5\r\n",
         30,
         kGib / 2,
         {}},
        {"zeros switch both limits off", "[Archive]\nKEEP_DAYS=0\nMIN_FREE_GIB=0\n", 0, 0, {}},
        {"bad values are told and take their defaults",
         "[Archive]\nKEEP_DAYS=-3\nMIN_FREE_GIB=lots\nKEEP_DAYS=7x\nKEEP=1\n",
         0,
         2 * kGib,
         {"tessaro.ini line 2: KEEP_DAYS must be a whole number of days from 0 to 36500, not "
          "\"-3\"; no age limit is used",
          "tessaro.ini line 3: MIN_FREE_GIB must be a number of GiB from 0 to 1000000, not "
          "\"lots\"; 2 GiB are kept free",
          "tessaro.ini line 4: KEEP_DAYS must be a whole number of days from 0 to 36500, not "
          "\"7x\"; no age limit is used",
          "tessaro.ini line 5: unknown setting \"KEEP\" in [Archive] is ignored"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        const StationSettings s = parseStationSettings(c.text, "tessaro.ini");
        EXPECT_EQ(s.retention.keepDays, c.keepDays);
        EXPECT_EQ(s.retention.minFreeBytes, c.minFree);
        EXPECT_EQ(s.problems, c.problems);
    }
    TempFolder folder;
    const StationSettings none = readStationSettings(folder.path() + "tessaro.ini");
    EXPECT_EQ(none.retention.minFreeBytes, 2 * kGib);
    EXPECT_TRUE(none.problems.empty());
    fs::create_directory(folder.path() + "tessaro.ini"); // there, but no file to read
    const StationSettings unreadable = readStationSettings(folder.path() + "tessaro.ini");
    EXPECT_EQ(unreadable.retention.keepDays, 0);
    EXPECT_EQ(unreadable.problems.size(), 1u);
}
