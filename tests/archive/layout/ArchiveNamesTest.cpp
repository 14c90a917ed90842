// The archive's names as the station makes them and the browser reads them
// back, in a real folder tree; and the one walk over its day folders, which
// follows no symbolic link.
#include "ArchiveNames.h"

#include "ArchiveDays.h"
#include "TempFolder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace archive;

void touch(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

int secondOfDay(const platform::LocalTime& t)
{
    return t.hour * 3600 + t.minute * 60 + t.second;
}

} // namespace

// Each name is made, written into a real tree, and read back: the walker
// finds its day, the folder gives its key back, the file name its time,
// same-second index and channel. The name an earlier version gave the same
// file ("-N" for "_N") is read as the same; it is never made.
TEST(ArchiveNames, EveryNameMadeReadsBackAsWhatMadeIt)
{
    struct Case
    {
        const char* legend;
        platform::LocalTime time;
        std::string key;
        std::string channel; // empty: a position file
        int index;
        std::string path;  // relative to the archive folder
        std::string older; // the file name earlier versions wrote; empty: the same
    };
    const std::vector<Case> cases = {
        {"the first position of its second",
         {2026, 12, 8, 14, 30, 5, 0},
         "AB12_3",
         "",
         1,
         "2026/12/08/AB12_3/143005.bin",
         ""},
        {"the second position of the same second takes _2 (earlier -2)",
         {2026, 12, 8, 14, 30, 5, 0},
         "AB12_3",
         "",
         2,
         "2026/12/08/AB12_3/143005_2.bin",
         "143005-2.bin"},
        {"the last name a second has",
         {2026, 12, 8, 14, 30, 5, 0},
         "AB12_3",
         "",
         1000,
         "2026/12/08/AB12_3/143005_1000.bin",
         "143005-1000.bin"},
        {"a clip of channel 2",
         {2026, 12, 8, 14, 30, 5, 0},
         "AB12_3",
         "2",
         1,
         "2026/12/08/AB12_3/143005_CH_2.mov",
         ""},
        {"the four channels in one, third of its second",
         {2026, 12, 8, 14, 30, 5, 0},
         "AB12_3",
         "ALL",
         3,
         "2026/12/08/AB12_3/143005_CH_ALL_3.mov",
         "143005_CH_ALL-3.mov"},
        {"channel 4, tenth of its second",
         {2026, 12, 8, 9, 1, 2, 0},
         "AB12_3",
         "4",
         10,
         "2026/12/08/AB12_3/090102_CH_4_10.mov",
         "090102_CH_4-10.mov"},
        {"midnight on the first day of a year",
         {2027, 1, 1, 0, 0, 0, 0},
         "AB12_3",
         "",
         1,
         "2027/01/01/AB12_3/000000.bin",
         ""},
        {"the last second of a leap day",
         {2028, 2, 29, 23, 59, 59, 0},
         "AB12_3",
         "1",
         1,
         "2028/02/29/AB12_3/235959_CH_1.mov",
         ""},
        {"a leading dot and a slash are escaped",
         {2026, 12, 8, 10, 0, 0, 0},
         ".a/b",
         "",
         1,
         "2026/12/08/%2Ea%2Fb/100000.bin",
         ""},
        {"a % before two hex digits is escaped",
         {2026, 12, 8, 10, 0, 0, 0},
         "50%41",
         "",
         1,
         "2026/12/08/50%2541/100000.bin",
         ""},
        {"a line feed is escaped",
         {2026, 12, 8, 10, 0, 0, 0},
         "a\nb",
         "",
         1,
         "2026/12/08/a%0Ab/100000.bin",
         ""},
        {"the key .. is escaped whole",
         {2026, 12, 8, 10, 0, 0, 0},
         "..",
         "",
         1,
         "2026/12/08/%2E%2E/100000.bin",
         ""},
        {"the empty key of a connection before its login",
         {2026, 12, 8, 10, 0, 0, 0},
         "",
         "",
         1,
         "2026/12/08/%00/100000.bin",
         ""},
        {"a Windows-1252 key is written in UTF-8",
         {2026, 12, 8, 10, 0, 0, 0},
         "Caf\xE9",
         "",
         1,
         "2026/12/08/Caf\xC3\xA9/100000.bin",
         ""},
    };

    TempFolder root;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        const std::string folder = dayFolderPath(root.path(), c.time) + deviceFolderName(c.key);
        const std::string file = c.channel.empty() ? PositionFile(c.time, c.index)
                                                   : ClipFile(c.time, c.channel, c.index);
        const fs::path path = fs::path(folder) / file;
        EXPECT_EQ(fs::relative(path, root.path()).string(), c.path);
        touch(path);
    }

    const std::vector<DayFolder> days = listDayFolders(root.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        const fs::path path(c.path);
        const fs::path dayPath = path.parent_path().parent_path();
        const auto day = std::find_if(days.begin(), days.end(), [&](const DayFolder& d) {
            return fs::relative(d.path, root.path()) == dayPath;
        });
        ASSERT_NE(day, days.end());
        EXPECT_EQ(day->date, dateOf(c.time));
        EXPECT_EQ(dayFolderName(day->date), dayPath.string());
        EXPECT_EQ(deviceFolderKey(path.parent_path().filename().string()), c.key);
        std::vector<std::string> names = {path.filename().string()};
        if (!c.older.empty())
            names.push_back(c.older);
        for (const std::string& name : names) {
            SCOPED_TRACE(name);
            if (c.channel.empty()) {
                EXPECT_EQ(parsePositionName(name), (PositionName{secondOfDay(c.time), c.index}));
                EXPECT_EQ(parseClipName(name), std::nullopt);
            } else {
                EXPECT_EQ(parseClipName(name), (ClipName{secondOfDay(c.time), c.index, c.channel}));
                EXPECT_EQ(parsePositionName(name), std::nullopt);
            }
        }
    }
}

// What the station never writes is not read as one of its files.
TEST(ArchiveNames, NamesTheStationNeverWritesAreNotRead)
{
    struct Case
    {
        const char* legend;
        const char* name;
    };
    const std::vector<Case> cases = {
        {"the preview clip", "temp.mov"},
        {"a file still being written", ".partial-4711-1"},
        {"a note of the operator's", "notes.txt"},
        {"a time without seconds", "1430.bin"},
        {"a time with seven digits", "1430050.bin"},
        {"hour 24", "240000.bin"},
        {"second 60", "143060.bin"},
        {"an upper-case extension", "143005.BIN"},
        {"index 1 is never written", "143005_1.bin"},
        {"an index with a leading zero", "143005_02.bin"},
        {"an empty index", "143005_.bin"},
        {"no channel", "143005_CH_.mov"},
        {"channel 5", "143005_CH_5.mov"},
        {"a lower-case channel", "143005_CH_all.mov"},
        {"a clip index 1", "143005_CH_2_1.mov"},
        {"a clip without its channel mark", "143005_2.mov"},
        {"a position with a channel", "143005_CH_2.bin"},
        {"an older index 1 was never written either", "143005-1.bin"},
        {"an older index with a leading zero", "143005-02.bin"},
        {"an older empty index", "143005-.bin"},
        {"both marks at once", "143005-2_3.bin"},
        {"an older clip index 1", "143005_CH_2-1.mov"},
        {"an older mark in place of the channel mark", "143005_CH-2.mov"},
        {"both marks after a channel", "143005_CH_2_2-3.mov"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        EXPECT_EQ(parsePositionName(c.name), std::nullopt);
        EXPECT_EQ(parseClipName(c.name), std::nullopt);
    }
}

// One walk for the retention, the leftovers at start and the browser: only
// <yyyy>/<mm>/<dd> plain folders of real dates, oldest first; a symbolic link
// at any of the three levels is not followed, wherever it leads.
TEST(ArchiveDays, AreTheLayoutsPlainFoldersOnlyAndNoLinkIsFollowed)
{
    TempFolder root;
    TempFolder elsewhere;
    const fs::path r = root.path();
    const fs::path e = elsewhere.path();
    for (const char* day : {"2026/12/08", "2026/12/07", "2025/01/31", "2024/02/29"})
        fs::create_directories(r / day / "BUS-12_1");
    fs::create_directories(e / "01/02/BUS-12_1");
    fs::create_directories(e / "03/BUS-12_1");
    fs::create_directories(e / "day/BUS-12_1");

    struct Foreign
    {
        const char* legend;
        const char* path;
    };
    const std::vector<Foreign> foreign = {
        {"no such month", "2026/13/01"},
        {"no such day", "2026/02/29"},
        {"day zero", "2026/12/00"},
        {"year zero", "0000/01/01"},
        {"a one-digit day", "2026/12/7"},
        {"no separators", "20261201"},
        {"a folder beside the layout", "backup/2026/12/08"},
        {"a hidden year", ".2026/12/08"},
    };
    for (const Foreign& f : foreign)
        fs::create_directories(r / f.path / "BUS-12_1");
    touch(r / "2026/12/09");                                   // a file, not a folder
    fs::create_directory_symlink(e, r / "2027");               // a year that is a link
    fs::create_directory_symlink(e / "01", r / "2026/11");     // a month that is a link
    fs::create_directory_symlink(e / "day", r / "2026/12/10"); // a day that is a link

    std::vector<std::string> found;
    for (const DayFolder& day : listDayFolders(root.path())) {
        found.push_back(dayFolderName(day.date));
        EXPECT_EQ(fs::path(day.path), r / found.back());
    }
    EXPECT_EQ(found,
              (std::vector<std::string>{"2024/02/29", "2025/01/31", "2026/12/07", "2026/12/08"}));
    EXPECT_TRUE(listDayFolders((r / "missing").string()).empty());
}
