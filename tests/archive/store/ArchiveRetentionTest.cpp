// Retention over real archive trees that the station's own archive writes in a
// temporary program folder, over several days, with foreign files and folders
// beside them that must survive: the age limit, the free-space limit (read
// from a fake), today never deleted, and the settings file that sets them.
#include "ArchiveRetention.h"

#include "Archive.h"
#include "DeviceLists.h"
#include "ManualClock.h"
#include "StationLog.h"
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
        return reading(archive::listDayFolders(folder).size());
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

    const ArchiveRetention::Pass pass = retention.run(readClocks(m_clock));

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
    EXPECT_TRUE(retention.run(readClocks(m_clock)).lines.empty());
    EXPECT_FALSE(m_archive.StorePositionSentence("BUS-12_1", "$GPRMC,3").failed());
    EXPECT_TRUE(fs::exists(root() + "2026/12/08/BUS-12_1/140000.bin"));
}

// The station's log files, written by the log itself from 20 November to the
// day after today, go with the days by the age limit: none while the clock is
// held (its date lies before the newest day), the old ones once it is trusted,
// except the log of a day kept for a wrong clock. Today's, tomorrow's, the
// receiver library's log and foreign files stay.
TEST_F(ArchiveRetentionTest, TheStationsLogsGoWithTheOldDaysAndNoneWhileHeld)
{
    ManualClock logClock;
    StationLog log(root(), logClock);
    std::vector<platform::LocalTime> logDays{{2026, 11, 20, 9, 0, 0, 0}};
    for (int d = 1; d <= 9; ++d)
        logDays.push_back({2026, 12, d, 9, 0, 0, 0});
    for (const platform::LocalTime& day : logDays) {
        logClock.set(day);
        log.write(LogKind::start, "a day");
    }
    writeFile(root() + "log/2026 11/20 Kavrel.log.txt");
    writeFile(root() + "log/notes.txt");
    writeFile(root() + "2026/12/01/" + kWrongClockFileName);
    const auto logsLeft = [this] {
        std::vector<std::string> left;
        for (const StationLog::File& file : StationLog::list(root()))
            left.push_back(archive::dayFolderName(file.date));
        return left;
    };
    ASSERT_EQ(logsLeft().size(), 10u);
    FakeFreeSpace plenty;
    plenty.reading = [](std::size_t) { return FreeSpace::Reading{0, 100 * kGib}; };
    ArchiveRetention retention(root(), {3, 0, 0}, plenty);

    m_clock.set({2026, 12, 5, 14, 0, 0, 0}); // before the newest day: held
    ArchiveRetention::Pass pass = retention.run(readClocks(m_clock));
    EXPECT_TRUE(pass.ageHeld);
    EXPECT_TRUE(pass.deletedLogs.empty());
    EXPECT_EQ(logsLeft().size(), 10u);

    m_clock.advance(3 * platform::kMsPerDay); // both clocks: 8 December, trusted
    pass = retention.run(readClocks(m_clock));
    EXPECT_FALSE(pass.ageHeld);
    const std::vector<std::string> deleted{"2026/11/20", "2026/12/02", "2026/12/03", "2026/12/04",
                                           "2026/12/05"};
    EXPECT_EQ(pass.deletedLogs, deleted);
    EXPECT_EQ(pass.lines.back(),
              "14:00:00 Archive: deleted 5 station logs, of 2026/11/20 to 2026/12/05");
    const std::vector<std::string> left{"2026/12/01", "2026/12/06", "2026/12/07", "2026/12/08",
                                        "2026/12/09"};
    EXPECT_EQ(logsLeft(), left);
    EXPECT_TRUE(fs::exists(root() + "log/2026 11/20 Kavrel.log.txt"));
    EXPECT_TRUE(fs::exists(root() + "log/notes.txt"));
    EXPECT_TRUE(retention.run(readClocks(m_clock)).deletedLogs.empty());
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

        const ArchiveRetention::Pass pass = retention.run(readClocks(m_clock));

        EXPECT_EQ(pass.deleted, c.deleted);
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < c.deleted.size(); ++i)
            lines.push_back("14:00:00 Archive: deleted the day " + c.deleted[i] + " (" +
                            c.reasons[i] + ")");
        if (c.deleted.empty()) {
            ASSERT_EQ(pass.lines.size(), 1u);
            EXPECT_EQ(pass.lines[0], "14:00:00 Archive: cannot read the free space of " +
                                         copy.path() + ": " + std::strerror(EIO));
            EXPECT_TRUE(retention.run(readClocks(m_clock)).lines.empty()); // not told again
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
        std::uint64_t warnUnder;
        std::vector<std::string> problems;
    };
    const Case cases[] = {
        {"no file or empty: no limits, under 2 GiB free is told", "", 0, 0, 2 * kGib, {}},
        {"both set, any case, spaces, comments; another section is told, its lines ignored",
         "; station\r\n[Option]\r\nKEEP_DAYS=1\r\n[ archive ]\r\n keep_days = 30 \r\n"
         "# free\r\nMin_Free_GiB=0.5\r\n",
         30,
         kGib / 2,
         0,
         {"tessaro.ini line 2: unknown section [Option] is ignored with its lines (the station "
          "reads "
          "[Archive] and [Fleet])"}},
        {"zeros switch both limits off", "[Archive]\nKEEP_DAYS=0\nMIN_FREE_GIB=0\n", 0, 0, 0, {}},
        {"bad values are told and take their defaults",
         "[Archive]\nKEEP_DAYS=-3\nMIN_FREE_GIB=lots\nKEEP_DAYS=7x\nKEEP=1\n",
         0,
         0,
         2 * kGib,
         {"tessaro.ini line 2: KEEP_DAYS must be a whole number of days from 0 to 36500, not "
          "\"-3\"; no age limit is used",
          "tessaro.ini line 3: MIN_FREE_GIB must be a number of GiB from 0 to 1000000, not "
          "\"lots\"; no free-space limit is used",
          "tessaro.ini line 4: KEEP_DAYS is given again (before on line 2); this later value is "
          "used",
          "tessaro.ini line 4: KEEP_DAYS must be a whole number of days from 0 to 36500, not "
          "\"7x\"; no age limit is used",
          "tessaro.ini line 5: unknown setting \"KEEP\" in [Archive] is ignored"}},
        {"a misspelt section takes none of its limits, and says so",
         "[Archiv]\nKEEP_DAYS=30\n",
         0,
         0,
         2 * kGib,
         {"tessaro.ini line 1: unknown section [Archiv] is ignored with its lines (the station "
          "reads "
          "[Archive] and [Fleet])"}},
        {"a name given again: the later value is used, the line told",
         "[Archive]\nKEEP_DAYS=30\n\nkeep_days=7\n",
         7,
         0,
         2 * kGib,
         {"tessaro.ini line 4: KEEP_DAYS is given again (before on line 2); this later value is "
          "used"}},
        {"before any section, no name=value, an unclosed section",
         "KEEP_DAYS=30\n[Archive]\nMIN_FREE_GIB 2\n[Archive\nKEEP_DAYS=5\n",
         0,
         0,
         2 * kGib,
         {"tessaro.ini line 1: \"KEEP_DAYS\" stands before [Archive] or [Fleet] and is ignored",
          "tessaro.ini line 3: \"MIN_FREE_GIB 2\" is not a setting (name=value) and is ignored",
          "tessaro.ini line 4: \"[Archive\" is not a section name such as [Archive]; the lines "
          "up to the next section are ignored"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        const StationSettings s = parseStationSettings(c.text, "tessaro.ini");
        EXPECT_EQ(s.retention.keepDays, c.keepDays);
        EXPECT_EQ(s.retention.minFreeBytes, c.minFree);
        EXPECT_EQ(s.retention.lowFreeWarningBytes, c.warnUnder);
        EXPECT_EQ(s.problems, c.problems);
    }
    TempFolder folder;
    const StationSettings none = readStationSettings(folder.path() + "tessaro.ini");
    EXPECT_EQ(none.retention.minFreeBytes, 0u);
    EXPECT_EQ(none.retention.lowFreeWarningBytes, 2 * kGib);
    EXPECT_TRUE(none.problems.empty());
    fs::create_directory(folder.path() + "tessaro.ini"); // there, but no file to read
    const StationSettings unreadable = readStationSettings(folder.path() + "tessaro.ini");
    EXPECT_EQ(unreadable.retention.keepDays, 0);
    EXPECT_EQ(unreadable.problems.size(), 1u);
}

TEST(StationSettings, TheFleetsBrokerPrefixAndClipLimit)
{
    struct Case
    {
        const char* legend;
        const char* text;
        std::string broker;
        std::string prefix;       // empty: the default
        std::size_t maxClipBytes; // 0: the default
        std::vector<std::string> problems;
    };
    const Case cases[] = {
        {"no [Fleet]: the station receives its own recorders",
         "[Archive]\nKEEP_DAYS=3\n",
         "",
         "",
         0,
         {}},
        {"all set, any case, beside [Archive]",
         "[fleet]\r\n broker = mqtt://10.0.0.5:1883 \r\nPrefix=depot-7/v1\r\nmax_clip_mib=8\r\n"
         "[Archive]\r\n",
         "mqtt://10.0.0.5:1883",
         "depot-7/v1",
         std::size_t{8} << 20,
         {}},
        {"a clip limit out of range is told",
         "[Fleet]\nMAX_CLIP_MIB=0\nMAX_CLIP_MIB=1025\n",
         "",
         "",
         0,
         {"tessaro.ini line 2: MAX_CLIP_MIB must be a whole number of MiB from 1 to 1024, not "
          "\"0\"; the default is used",
          "tessaro.ini line 3: MAX_CLIP_MIB must be a whole number of MiB from 1 to 1024, not "
          "\"1025\"; the default is used"}},
        {"a prefix with a wildcard, an empty level or an edge slash is told",
         "[Fleet]\nPREFIX=fleet/#\nPREFIX=a//b\nPREFIX=/a\nPREFIX=\nSERVER=x\n",
         "",
         "",
         0,
         {"tessaro.ini line 2: PREFIX must be topic levels separated by \"/\", with no empty level "
          "and no \"+\" or \"#\", not \"fleet/#\"; the default prefix is used",
          "tessaro.ini line 3: PREFIX must be topic levels separated by \"/\", with no empty level "
          "and no \"+\" or \"#\", not \"a//b\"; the default prefix is used",
          "tessaro.ini line 4: PREFIX must be topic levels separated by \"/\", with no empty level "
          "and no \"+\" or \"#\", not \"/a\"; the default prefix is used",
          "tessaro.ini line 5: PREFIX must be topic levels separated by \"/\", with no empty level "
          "and no \"+\" or \"#\", not \"\"; the default prefix is used",
          "tessaro.ini line 6: unknown setting \"SERVER\" in [Fleet] is ignored"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        const StationSettings s = parseStationSettings(c.text, "tessaro.ini");
        EXPECT_EQ(s.fleetBroker, c.broker);
        EXPECT_EQ(s.fleetPrefix, c.prefix);
        EXPECT_EQ(s.fleetMaxClipBytes, c.maxClipBytes);
        EXPECT_EQ(s.problems, c.problems);
    }
}

// Ten real days written by the archive, KEEP_DAYS=30, and the station's
// clock going wrong and being put right in every way the tester met: nothing
// real goes while the clock cannot be trusted, what was filed under a wrong
// date survives the correction and a restart, and age deletion goes on on the
// calendar once the clock is plausible again or the date is confirmed.
TEST(ArchiveRetentionClock, AWrongClockNeverDeletesRealDaysOrWhatItFiled)
{
    constexpr std::int64_t kMinute = 60 * 1000;
    constexpr std::int64_t kDay = platform::kMsPerDay;
    TempFolder folder;
    ManualClock clock({2026, 11, 29, 12, 0, 0, 0});
    DeviceLists lists;
    Archive archive(folder.path(), clock, lists);
    const auto store = [&] {
        ASSERT_FALSE(archive.StorePositionSentence("BUS-12_1", "$GPRMC,1").failed());
    };
    for (int d = 0; d < 10; ++d, clock.advance(kDay))
        store();
    clock.set({2026, 12, 8, 14, 0, 0, 0});
    FakeFreeSpace plenty;
    plenty.reading = [](std::size_t) { return FreeSpace::Reading{0, 100 * kGib}; };
    const RetentionLimits limits{30, 0, 0};
    auto retention = std::make_unique<ArchiveRetention>(folder.path(), limits, plenty);
    // Passes come a minute apart.
    const auto pass = [&] {
        clock.advance(kMinute);
        return retention->run(readClocks(clock));
    };
    // Moves the wall clock alone.
    const auto jump = [&](std::int64_t ms) {
        clock.set(platform::fromDateTimeMs(platform::toDateTimeMs(clock.now()) + ms));
    };
    const auto contains = [](const std::vector<std::string>& lines, const std::string& words) {
        for (const std::string& line : lines)
            if (line.find(words) != std::string::npos)
                return true;
        return false;
    };
    const auto realDaysLeft = [&] {
        int left = 0;
        for (const archive::DayFolder& day : archive::listDayFolders(folder.path()))
            left += day.date.year == 2026;
        return left;
    };
    const auto kept = [&](const std::string& day) {
        return fs::is_regular_file(folder.path() + day + "/" + kWrongClockFileName);
    };

    // The first pass trusts a clock that agrees with the disk.
    ArchiveRetention::Pass p = pass();
    EXPECT_FALSE(p.ageHeld);
    EXPECT_TRUE(p.lines.empty());

    // 400 days forward: held and told with the dates; what the archive files
    // meanwhile is kept; put right, nothing real went.
    jump(400 * kDay);
    p = pass();
    EXPECT_TRUE(p.ageHeld);
    EXPECT_TRUE(p.deleted.empty());
    ASSERT_EQ(p.lines.size(), 1u);
    EXPECT_EQ(p.lines[0], "14:02:00 Archive: deletion by age is held: the clock reads 2028-01-12 "
                          "14:02, 400 days ahead of the monotonic clock since it read 2026-12-08 "
                          "14:01; it goes on when the clock is plausible again or the date is "
                          "confirmed (Confirm date in the window, or a file confirm-date beside "
                          "the archive)");
    store();
    p = pass();
    EXPECT_TRUE(p.ageHeld);
    EXPECT_EQ(p.lines, std::vector<std::string>{"14:03:00 Archive: the day 2028/01/12 is kept from "
                                                "deletion by age: received while the clock was "
                                                "wrong (begun while deletion by age was held)"});
    jump(-400 * kDay);
    p = pass();
    EXPECT_FALSE(p.ageHeld) << "the day the wrong clock filed under is not taken as the newest";
    EXPECT_EQ(p.lines, std::vector<std::string>{"14:04:00 Archive: the clock is plausible again, "
                                                "it reads 2026-12-08 14:04; deletion by age goes "
                                                "on"});
    EXPECT_EQ(realDaysLeft(), 10);

    // 400 days behind for a while, then put right: the positions filed under
    // the old date survive the correction.
    jump(-400 * kDay);
    EXPECT_TRUE(pass().ageHeld);
    store();
    EXPECT_TRUE(contains(pass().lines, "the day 2025/11/03 is kept from deletion by age"));
    jump(400 * kDay);
    p = pass();
    EXPECT_FALSE(p.ageHeld);
    EXPECT_TRUE(p.deleted.empty());
    EXPECT_TRUE(kept("2025/11/03"));

    // Wrong for less than a pass's interval: the pass sees only a new day
    // already past the age limit, and keeps it.
    clock.set({2025, 11, 4, 9, 0, 0, 0});
    store();
    clock.set({2026, 12, 8, 14, 7, 0, 0}); // the monotonic clock did not move
    p = pass();
    EXPECT_FALSE(p.ageHeld);
    EXPECT_TRUE(p.deleted.empty());
    EXPECT_TRUE(contains(p.lines, "the day 2025/11/04 is kept from deletion by age: received "
                                  "while the clock was wrong (past the age limit when it "
                                  "appeared)"));

    // A restart: the kept days stay kept, and the wrong clock's day in 2028
    // does not hold the right clock.
    retention = std::make_unique<ArchiveRetention>(folder.path(), limits, plenty);
    p = pass();
    EXPECT_FALSE(p.ageHeld);
    EXPECT_TRUE(p.lines.empty());
    EXPECT_EQ(realDaysLeft(), 10);

    // 25 days of running: the calendar's age limit takes the five real days
    // past it, and leaves what the wrong clock filed.
    clock.advance(25 * kDay);
    p = pass();
    EXPECT_FALSE(p.ageHeld);
    EXPECT_EQ(p.deleted, (std::vector<std::string>{"2026/11/29", "2026/11/30", "2026/12/01",
                                                   "2026/12/02", "2026/12/03"}));
    EXPECT_TRUE(kept("2025/11/03") && kept("2025/11/04") && kept("2028/01/12"));

    // Started again after a stop of a hundred days: the pass would take every
    // past day, so it waits for the operator's confirm-date, and then does.
    clock.advance(100 * kDay);
    retention = std::make_unique<ArchiveRetention>(folder.path(), limits, plenty);
    p = pass();
    EXPECT_TRUE(p.ageHeld);
    EXPECT_TRUE(p.deleted.empty());
    EXPECT_TRUE(contains(p.lines, "the clock reads 2027-04-12 14:11 and the age limit would take "
                                  "all 5 past days at once"));
    EXPECT_EQ(realDaysLeft(), 5);
    std::ofstream(folder.path() + kConfirmDateFileName).close();
    p = pass();
    EXPECT_FALSE(p.ageHeld);
    EXPECT_TRUE(contains(p.lines, "14:12:00 Archive: the date was confirmed, the clock reads "
                                  "2027-04-12 14:12; deletion by age goes on"));
    EXPECT_EQ(p.deleted.size(), 5u);
    EXPECT_FALSE(fs::exists(folder.path() + kConfirmDateFileName));
    EXPECT_TRUE(kept("2025/11/03") && kept("2025/11/04") && kept("2028/01/12"));
}

// Without MIN_FREE_GIB nothing goes for space, however little is free; free
// space under 2 GiB is told once each time it falls under it.
TEST_F(ArchiveRetentionTest, WithoutAFreeSpaceLimitLowSpaceIsToldAndNothingDeleted)
{
    struct Step
    {
        const char* legend;
        double freeGib;
        std::vector<std::string> lines;
    };
    const std::string on = " free on " + root();
    const Step steps[] = {
        {"plenty: nothing told", 3.0, {}},
        {"falls under 2 GiB: told",
         1.5,
         {"14:00:00 Archive: only 1.5 GiB" + on +
          "; nothing is deleted for space, as MIN_FREE_GIB is not set"}},
        {"still under: not told again", 0.1, {}},
        {"back over: told", 2.5, {"14:00:00 Archive: 2.5 GiB free again on " + root()}},
        {"under again: told again",
         1.0,
         {"14:00:00 Archive: only 1.0 GiB" + on +
          "; nothing is deleted for space, as MIN_FREE_GIB is not set"}},
    };
    const StationSettings noFile = parseStationSettings("", "tessaro.ini");
    double freeGib = 0;
    FakeFreeSpace freeSpace;
    freeSpace.reading = [&](std::size_t) {
        return FreeSpace::Reading{0, static_cast<std::uint64_t>(freeGib * kGib)};
    };
    ArchiveRetention retention(root(), noFile.retention, freeSpace);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.legend);
        freeGib = step.freeGib;
        const ArchiveRetention::Pass pass = retention.run(readClocks(m_clock));
        EXPECT_TRUE(pass.deleted.empty());
        EXPECT_EQ(pass.lines, step.lines);
    }
    EXPECT_EQ(treeOf(root()), m_before);
}
