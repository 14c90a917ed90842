// The reader over a tree that the station's archive wrote: days, recorders
// with escaped keys, one recorder's day in time order (same-second files past
// the ninth included), and what it must skip: files being written, preview
// files, foreign files and folders.
#include "ArchiveReader.h"

#include "ArchiveTestTree.h"
#include "ExportFiles.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace archive;
using archivetest::StationArchive;
namespace fs = std::filesystem;

namespace {

void touch(const fs::path& path, std::string_view text = "foreign")
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

} // namespace

TEST(ArchiveReaderTest, ReadsWhatTheStationArchivedAndNothingElse)
{
    StationArchive station({2026, 12, 8, 14, 0, 0, 0});
    // A real receiver's output, every sentence kind, ten sentences a second:
    // same-second names up to _10, which sorts before _2 by name.
    const std::vector<std::string> sentences = archivetest::logSentences("nl402u-slow.nmea");
    const std::string bus = "BUS-12_1";
    for (const std::string& s : sentences) {
        station.position(bus, s);
        station.clock.advance(100);
    }
    station.clip(bus, 3000, "2");
    station.clip(bus, 3001, "ALL");
    station.clip(bus, 3002, "2"); // same second, same channel: _2
    // Keys that are not plain names; 0xE9 is "é" in Windows-1252.
    const std::string escaped = "../a/b\n%41";
    const std::string accented = "Caf\xE9";
    station.position(escaped, sentences.front());
    station.position(accented, sentences.front());
    // The next day, and one more recorder.
    station.clock.set({2026, 12, 9, 8, 0, 0, 0});
    station.position("BUS-13_1", sentences.front());

    // What a reader must pass over.
    const fs::path root = station.root();
    const fs::path busFolder = root / "2026/12/08" / deviceFolderName(bus);
    touch(busFolder / ".partial-143005.bin.XXXXXX", sentences.front());
    touch(busFolder / "temp.mov");
    touch(busFolder / "notes.txt");
    touch(busFolder / "1400.bin");
    touch(busFolder / "240000.bin");
    touch(busFolder / "140000_1.bin");
    touch(busFolder / "140000_CH_5.mov");
    touch(busFolder / "140000.BIN");
    fs::create_directories(busFolder / "235959.bin");
    touch(root / "2026/12/08/readme.txt");
    fs::create_directories(root / "2026/12/07");    // a day without recorders
    touch(root / "2026/13/01/X/140000.bin");        // no such month
    touch(root / "2026/02/29/X/140000.bin");        // no such day
    touch(root / "2026/12/8/X/140000.bin");         // not the layout
    touch(root / "backup/2026/12/08/X/140000.bin"); // elsewhere
    touch(root / "Tessaro.journal");

    const ArchiveReader reader(station.root());
    EXPECT_EQ(reader.days(), (std::vector<Date>{{2026, 12, 8}, {2026, 12, 9}}));

    const std::vector<Recorder> recorders = reader.recorders({2026, 12, 8});
    ASSERT_EQ(recorders.size(), 3u);
    std::map<std::string, std::string> displayByKey;
    for (const Recorder& r : recorders) {
        ASSERT_TRUE(r.key.has_value()) << r.folder;
        EXPECT_EQ(r.folder, deviceFolderName(*r.key));
        displayByKey[*r.key] = r.displayName();
        EXPECT_EQ(reader.folderOfKey({2026, 12, 8}, *r.key), r.folder);
    }
    EXPECT_EQ(displayByKey.at(bus), bus);
    EXPECT_EQ(displayByKey.at(escaped), escaped);
    EXPECT_EQ(displayByKey.at(accented), "Caf\xC3\xA9");
    EXPECT_FALSE(reader.folderOfKey({2026, 12, 8}, "BUS-13_1"));
    EXPECT_TRUE(reader.recorders({2026, 12, 7}).empty());

    const auto day = reader.recorderDay({2026, 12, 8}, busFolder.filename().string());
    ASSERT_TRUE(day.has_value());
    // Every sentence, in the order it came, each with its second and index.
    ASSERT_EQ(day->positions.size(), sentences.size());
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        const Position& p = day->positions[i];
        EXPECT_EQ(p.sentence, sentences[i]) << i;
        EXPECT_EQ(p.secondOfDay, 14 * 3600 + static_cast<int>(i / 10)) << i;
        EXPECT_EQ(p.sameSecondIndex, static_cast<int>(i % 10) + 1) << i;
        EXPECT_EQ(p.rmc.isRmc, sentences[i].find("RMC,") != std::string::npos) << i;
    }
    EXPECT_EQ(nmeaLog(*day).text, [&] {
        std::string log;
        for (const std::string& s : sentences)
            log += s + "\n";
        return log;
    }());
    // The first RMC sentence: 104706.000,A,5405.6081,N,01049.4791,E,0.24,18.02,240709
    const auto firstRmc = std::find_if(day->positions.begin(), day->positions.end(),
                                       [](const Position& p) { return p.rmc.isRmc; });
    ASSERT_NE(firstRmc, day->positions.end());
    const RmcFields& f = firstRmc->rmc;
    EXPECT_TRUE(f.valid);
    EXPECT_NEAR(*f.latitude, 54 + 5.6081 / 60, 1e-9);
    EXPECT_NEAR(*f.longitude, 10 + 49.4791 / 60, 1e-9);
    EXPECT_DOUBLE_EQ(*f.speedKnots, 0.24);
    EXPECT_DOUBLE_EQ(*f.courseDegrees, 18.02);
    EXPECT_EQ(std::tuple(*f.year, *f.month, *f.day, *f.hour, *f.minute),
              std::tuple(2009, 7, 24, 10, 47));

    ASSERT_EQ(day->clips.size(), 3u);
    const int clipSecond = 14 * 3600 + static_cast<int>(sentences.size() / 10);
    std::vector<std::tuple<int, int, std::string, std::uint64_t>> clips;
    for (const Clip& c : day->clips) {
        clips.emplace_back(c.secondOfDay, c.sameSecondIndex, c.channel, c.size);
        EXPECT_TRUE(fs::exists(c.path));
    }
    EXPECT_EQ(
        clips,
        (std::vector<std::tuple<int, int, std::string, std::uint64_t>>{
            {clipSecond, 1, "2", 3000}, {clipSecond, 1, "ALL", 3001}, {clipSecond, 2, "2", 3002}}));

    EXPECT_FALSE(reader.recorderDay({2026, 12, 8}, "BUS-13_1"));
    EXPECT_FALSE(reader.recorderDay({2026, 12, 8}, ".."));
    EXPECT_FALSE(reader.recorderDay({2026, 12, 8}, "../08"));
}
