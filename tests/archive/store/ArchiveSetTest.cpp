// Two gateways' archives read as one, each written by the station's own
// archive code: the days are the union, a recorder is one recorder whichever
// gateway it reached, its day is merged in time order, and files of the same
// name in both are both kept under names that do not collide.
#include "ArchiveSet.h"

#include "ArchiveTestTree.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace archive;
using archivetest::StationArchive;
namespace fs = std::filesystem;

namespace {

// One thing a gateway archived: when, for whom, and what.
struct Stored
{
    int gateway; // 1 or 2
    int day;     // of December 2026
    const char* time;
    const char* key;
    const char* channel; // a clip's; nullptr for a position
};

struct Case
{
    const char* legend;
    std::vector<Stored> stored;
    std::vector<Date> days;
    std::vector<std::string> recorders; // on the 8th
    // BUS-12_1's day on the 8th: "gateway name" for each position, then each
    // clip. (One folder alone is read as before: the export's own tests go
    // through the same reader with one.)
    std::vector<std::string> merged;
};

const std::vector<Case> kCases = {
    {"days of either gateway are listed once, oldest first",
     {{1, 7, "10:00:00", "BUS-12_1", nullptr},
      {1, 8, "10:00:00", "BUS-12_1", nullptr},
      {2, 8, "11:00:00", "BUS-12_1", nullptr},
      {2, 9, "10:00:00", "BUS-12_1", nullptr}},
     {{2026, 12, 7}, {2026, 12, 8}, {2026, 12, 9}},
     {"BUS-12_1"},
     {"1 100000.bin", "2 110000.bin"}},
    {"a recorder that moved between gateways: one recorder, its day in time order",
     {{1, 8, "14:00:00", "BUS-12_1", nullptr},
      {2, 8, "14:00:10", "BUS-12_1", nullptr},
      {1, 8, "14:00:20", "BUS-12_1", nullptr},
      {2, 8, "14:00:30", "BUS-12_1", "2"},
      {1, 8, "14:00:40", "BUS-12_1", "ALL"},
      {2, 8, "14:00:50", "BUS-13_1", nullptr}},
     {{2026, 12, 8}},
     {"BUS-12_1", "BUS-13_1"},
     {"1 140000.bin", "2 140010.bin", "1 140020.bin", "2 140030_CH_2.mov", "1 140040_CH_ALL.mov"}},
    {"the same name in both: both kept, the first gateway's first, the second's clip renamed",
     {{2, 8, "14:00:00", "BUS-12_1", nullptr},
      {1, 8, "14:00:00", "BUS-12_1", nullptr},
      {2, 8, "14:00:00", "BUS-12_1", "2"},
      {1, 8, "14:00:00", "BUS-12_1", "2"}},
     {{2026, 12, 8}},
     {"BUS-12_1"},
     {"1 140000.bin", "2 140000.bin", "1 140000_CH_2.mov", "2 140000_CH_2.archive2.mov"}},
    {"within a second, the same-second number orders before the gateway",
     {{1, 8, "14:00:00", "BUS-12_1", nullptr},
      {1, 8, "14:00:00", "BUS-12_1", nullptr},
      {2, 8, "14:00:00", "BUS-12_1", nullptr},
      {2, 8, "14:00:00", "BUS-12_1", nullptr},
      {1, 8, "14:00:00", "BUS-12_1", "1"},
      {1, 8, "14:00:00", "BUS-12_1", "1"},
      {2, 8, "14:00:00", "BUS-12_1", "1"}},
     {{2026, 12, 8}},
     {"BUS-12_1"},
     {"1 140000.bin", "2 140000.bin", "1 140000_2.bin", "2 140000_2.bin", "1 140000_CH_1.mov",
      "2 140000_CH_1.archive2.mov", "1 140000_CH_1_2.mov"}},
};

platform::LocalTime at(int day, std::string_view time)
{
    const auto number = [&](std::size_t from) {
        return std::stoi(std::string(time.substr(from, 2)));
    };
    return {2026, 12, day, number(0), number(3), number(6), 0};
}

} // namespace

TEST(ArchiveSetTest, TwoGatewaysReadAsOneArchive)
{
    const std::string sentence = archivetest::logSentences("nl402u-slow.nmea", "RMC").front();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.legend);
        StationArchive gateway1({2026, 12, 1, 0, 0, 0, 0});
        StationArchive gateway2({2026, 12, 1, 0, 0, 0, 0});
        for (const Stored& s : c.stored) {
            StationArchive& g = s.gateway == 1 ? gateway1 : gateway2;
            g.clock.set(at(s.day, s.time));
            if (s.channel)
                g.clip(s.key, 3000, s.channel);
            else
                g.position(s.key, sentence);
        }
        const ArchiveSet both({gateway1.root(), gateway2.root()});
        EXPECT_EQ(both.days(), c.days);
        std::vector<std::string> recorders;
        for (const Recorder& r : both.recorders({2026, 12, 8}))
            recorders.push_back(r.displayName());
        EXPECT_EQ(recorders, c.recorders);

        const auto day = both.recorderDay({2026, 12, 8}, "BUS-12_1");
        ASSERT_TRUE(day.has_value());
        std::vector<std::string> merged;
        for (const Position& p : day->positions) {
            EXPECT_EQ(p.path.rfind(p.archive == 0 ? gateway1.root() : gateway2.root(), 0), 0u);
            merged.push_back(std::to_string(p.archive + 1) + " " +
                             fs::path(p.path).filename().string());
        }
        for (const Clip& clip : day->clips) {
            EXPECT_EQ(clip.path.rfind(clip.archive == 0 ? gateway1.root() : gateway2.root(), 0),
                      0u);
            merged.push_back(std::to_string(clip.archive + 1) + " " + clip.name);
        }
        EXPECT_EQ(merged, c.merged);
    }
}
