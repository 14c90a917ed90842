// The reader over a tree that the station's archive wrote: days, recorders
// with escaped keys, one recorder's day in time order (same-second files past
// the ninth included), and what it must skip: files being written, preview
// files, foreign files and folders; and a day that an earlier version began,
// with its "-N" same-second names, carried on by the station.
#include "ArchiveReader.h"

#include "ArchiveFiles.h"
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

// A day begun by an earlier version, whose same-second names end in "-N"
// (135959-2.bin, 135959_CH_2-2.mov), and carried on by this one: the clean-up
// at start takes only its own unfinished file, the station writes only "_N",
// and the reader and the export take every file of both, in time order.
TEST(ArchiveReaderTest, ReadsTheSameSecondNamesOfEarlierVersions)
{
    StationArchive station({2026, 12, 8, 14, 0, 0, 0});
    const std::vector<std::string> sentences = archivetest::logSentences("nl402u-slow.nmea");
    ASSERT_GE(sentences.size(), 12u);
    const std::string bus = "BUS-12_1";
    const fs::path busFolder = station.root() / fs::path("2026/12/08") / deviceFolderName(bus);
    // Ten positions of one second as the earlier version named them, -10 before
    // -2 in byte order; its clips; and a file this version left unfinished.
    touch(busFolder / "135959.bin", sentences[0] + "\r\n");
    for (int i = 2; i <= 10; ++i)
        touch(busFolder / ("135959-" + std::to_string(i) + ".bin"), sentences[i - 1] + "\r\n");
    touch(busFolder / "135959_CH_2.mov", std::string(2000, 'a'));
    touch(busFolder / "135959_CH_2-2.mov", std::string(2001, 'b'));
    touch(busFolder / "135959_CH_ALL-2.mov", std::string(2002, 'c'));
    touch(busFolder / (std::string(monitor::kPartialFilePrefix) + "4711-1"), sentences[0]);

    EXPECT_EQ(monitor::removePartialFiles(station.root()), 1);
    station.position(bus, sentences[10]);
    station.position(bus, sentences[11]);
    station.clip(bus, 3000, "2");
    station.clip(bus, 3001, "2");

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(busFolder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"135959-10.bin", "135959-2.bin", "135959-3.bin",
                                               "135959-4.bin", "135959-5.bin", "135959-6.bin",
                                               "135959-7.bin", "135959-8.bin", "135959-9.bin",
                                               "135959.bin", "135959_CH_2-2.mov", "135959_CH_2.mov",
                                               "135959_CH_ALL-2.mov", "140000.bin", "140000_2.bin",
                                               "140000_CH_2.mov", "140000_CH_2_2.mov"}));

    const ArchiveReader reader(station.root());
    EXPECT_EQ(reader.days(), (std::vector<Date>{{2026, 12, 8}}));
    const auto day = reader.recorderDay({2026, 12, 8}, busFolder.filename().string());
    ASSERT_TRUE(day.has_value());
    ASSERT_EQ(day->positions.size(), 12u);
    std::string log;
    for (std::size_t i = 0; i < day->positions.size(); ++i) {
        const Position& p = day->positions[i];
        EXPECT_EQ(p.sentence, sentences[i]) << i;
        EXPECT_EQ(p.secondOfDay, i < 10 ? 13 * 3600 + 59 * 60 + 59 : 14 * 3600) << i;
        EXPECT_EQ(p.sameSecondIndex, static_cast<int>(i % 10) + 1) << i;
        log += sentences[i] + "\n";
    }
    EXPECT_EQ(nmeaLog(*day).text, log);

    std::vector<std::tuple<int, int, std::string, std::uint64_t, std::string>> clips;
    for (const Clip& c : day->clips)
        clips.emplace_back(c.secondOfDay, c.sameSecondIndex, c.channel, c.size,
                           fs::path(c.path).filename().string());
    const int before = 13 * 3600 + 59 * 60 + 59;
    const int at = 14 * 3600;
    EXPECT_EQ(clips, (std::vector<std::tuple<int, int, std::string, std::uint64_t, std::string>>{
                         {before, 1, "2", 2000, "135959_CH_2.mov"},
                         {before, 2, "2", 2001, "135959_CH_2-2.mov"},
                         {before, 2, "ALL", 2002, "135959_CH_ALL-2.mov"},
                         {at, 1, "2", 3000, "140000_CH_2.mov"},
                         {at, 2, "2", 3001, "140000_CH_2_2.mov"}}));

    // The export copies each clip under the name it has in the archive.
    const fs::path copies = station.root() / fs::path("clips");
    ASSERT_EQ(copyClips(*day, copies.string(), ExistingOutput::Refuse), "");
    for (const Clip& c : day->clips)
        EXPECT_EQ(fs::file_size(copies / fs::path(c.path).filename()), c.size) << c.path;
}
