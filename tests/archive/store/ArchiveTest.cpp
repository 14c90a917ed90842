// The archive with real files in a temporary program folder: the tree of day
// and recorder folders, what each file holds, the clip threshold, midnight,
// "Save data to disk" off with a real movie view, keys that are not plain
// names, and failures that must stay silent.
#include "Archive.h"

#include "ArchiveNames.h"
#include "ClipViewer.h"
#include "DeviceLists.h"
#include "ManualClock.h"
#include "MovieClipViewer.h"
#include "MovieEngineSession.h"
#include "TempFolder.h"
#include "TestClips.h"
#include "qtmovie.h"

#include <QFile>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <stdexcept>

using namespace monitor;
using testsupport::ManualClock;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;
// Relative path -> size in bytes, or -1 for a folder.
using Tree = std::map<std::string, std::intmax_t>;
constexpr std::intmax_t kFolder = -1;

const platform::LocalTime kStart{2026, 12, 6, 14, 30, 5, 0};

// Clips above the archive's threshold (a solid 320x240 clip is smaller).
const movietest::ClipSpec kRedClip{"red640.mov", 640, 480, movietest::kRed,
                                   movietest::ClipForm::Container};
const movietest::ClipSpec kBlueClip{"blue640.mov", 640, 480, movietest::kBlue,
                                    movietest::ClipForm::Container};

Tree treeOf(const std::string& root)
{
    Tree tree;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(root))
        tree[fs::relative(e.path(), root).string()] =
            e.is_directory() ? kFolder : static_cast<std::intmax_t>(e.file_size());
    return tree;
}

Bytes readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string readText(const std::string& path)
{
    const Bytes b = readBytes(path);
    return std::string(b.begin(), b.end());
}

// A clip event's data: payload bytes and the zero byte the receiver appends.
Bytes clipEvent(std::size_t length, std::uint8_t fill = 0x5A)
{
    Bytes data(length, fill);
    if (!data.empty())
        data.back() = 0;
    return data;
}

Bytes fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = file.readAll();
    return Bytes(all.begin(), all.end());
}

class RecordingViewer final : public ClipViewer
{
public:
    explicit RecordingViewer(std::string root) : m_root(std::move(root)) {}
    void showFile(const std::string& path) override
    {
        calls.push_back("show " + fs::relative(path, m_root).string());
        if (failShow)
            throw std::runtime_error("cannot open");
    }
    void closeMovie() override { calls.push_back("close"); }

    std::vector<std::string> calls;
    bool failShow = false;

private:
    std::string m_root;
};

class ArchiveTest : public ::testing::Test
{
protected:
    void select(const std::string& key)
    {
        m_lists.append(key, key);
        m_lists.select(m_lists.indexOf(key));
    }
    std::string root() const { return m_folder.path(); }

    TempFolder m_folder;
    ManualClock m_clock{kStart};
    DeviceLists m_lists;
    Archive m_archive{m_folder.path(), m_clock, m_lists};
    RecordingViewer m_viewer{m_folder.path()};
};

} // namespace

TEST_F(ArchiveTest, KeepsEveryEventInItsDayAndRecorderFolder)
{
    enum class Kind
    {
        Login,
        Position,
        Clip
    };
    struct Step
    {
        const char* legend;
        platform::LocalTime at;
        Kind kind;
        const char* key;
        std::size_t length; // clip: Length with the zero byte
        const char* channel;
    };
    const platform::LocalTime t = kStart;
    const platform::LocalTime later{2026, 12, 6, 14, 30, 5, 300};
    const Step steps[] = {
        {"login of a new recorder makes its folder", t, Kind::Login, "AB12_3", 0, ""},
        {"position sentence", t, Kind::Position, "AB12_3", 0, ""},
        {"second sentence in the same second is kept beside the first", later, Kind::Position,
         "AB12_3", 0, ""},
        {"a 2000-byte payload (Length 2001) is kept", later, Kind::Clip, "AB12_3", 2001, "2"},
        {"a second clip of the channel in the same second is kept too", later, Kind::Clip, "AB12_3",
         3000, "2"},
        {"four-in-one clip", later, Kind::Clip, "AB12_3", 2500, "ALL"},
        {"Length 2000 is not kept", later, Kind::Clip, "AB12_3", 2000, "1"},
        {"a sentence before the device information goes under the address", later, Kind::Position,
         "10.0.0.7", 0, ""},
        {"a clip of a recorder that is not selected is kept, not shown",
         {2026, 12, 6, 14, 30, 6, 0},
         Kind::Clip,
         "CD_9",
         2001,
         "4"},
        {"the last moment of the day",
         {2026, 12, 6, 23, 59, 59, 999},
         Kind::Position,
         "AB12_3",
         0,
         ""},
        {"the first sentence after midnight goes into a new day folder",
         {2026, 12, 7, 0, 0, 0, 0},
         Kind::Position,
         "AB12_3",
         0,
         ""},
    };
    m_archive.setClipViewer(&m_viewer);
    m_archive.BuildDayFolder(); // start-up
    EXPECT_EQ(m_archive.DayFolder(), root() + "2026/12/06/");
    select("AB12_3");
    int sentence = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.legend);
        m_clock.set(s.at);
        switch (s.kind) {
        case Kind::Login:
            m_archive.EnsureDeviceFolder(s.key);
            break;
        case Kind::Position:
            m_archive.StorePositionSentence(s.key, "$GPRMC," + std::to_string(++sentence));
            break;
        case Kind::Clip:
            m_archive.StoreClip(s.key, clipEvent(s.length), s.channel);
            break;
        }
    }

    const Tree expected = {
        {"2026", kFolder},
        {"2026/12", kFolder},
        {"2026/12/06", kFolder},
        {"2026/12/06/AB12_3", kFolder},
        {"2026/12/06/AB12_3/143005.bin", 10},
        {"2026/12/06/AB12_3/143005_2.bin", 10},
        {"2026/12/06/AB12_3/143005_CH_2.mov", 2001},
        {"2026/12/06/AB12_3/143005_CH_2_2.mov", 3000},
        {"2026/12/06/AB12_3/143005_CH_ALL.mov", 2500},
        {"2026/12/06/10.0.0.7", kFolder},
        {"2026/12/06/10.0.0.7/143005.bin", 10},
        {"2026/12/06/CD_9", kFolder},
        {"2026/12/06/CD_9/143006_CH_4.mov", 2001},
        {"2026/12/06/AB12_3/235959.bin", 10},
        {"2026/12/07", kFolder},
        {"2026/12/07/AB12_3", kFolder},
        {"2026/12/07/AB12_3/000000.bin", 10},
    };
    EXPECT_EQ(treeOf(root()), expected);
    EXPECT_EQ(readText(root() + "2026/12/06/AB12_3/143005.bin"), "$GPRMC,1\r\n");
    EXPECT_EQ(readText(root() + "2026/12/06/AB12_3/143005_2.bin"), "$GPRMC,2\r\n");
    // In plain byte order (ls, sort) the names list the files in time order.
    std::vector<std::string> byName;
    for (const auto& e : std::filesystem::directory_iterator(root() + "2026/12/06/AB12_3"))
        byName.push_back(e.path().filename().string());
    std::sort(byName.begin(), byName.end());
    EXPECT_EQ(byName,
              (std::vector<std::string>{"143005.bin", "143005_2.bin", "143005_CH_2.mov",
                                        "143005_CH_2_2.mov", "143005_CH_ALL.mov", "235959.bin"}));
    EXPECT_EQ(readBytes(root() + "2026/12/06/AB12_3/143005_CH_2.mov"), clipEvent(2001))
        << "the Length bytes, ending in the zero byte";
    EXPECT_EQ(m_archive.ClipStream(), clipEvent(2001)) << "the latest clip that was kept";
    EXPECT_EQ(m_viewer.calls, (std::vector<std::string>{
                                  "show 2026/12/06/AB12_3/143005_CH_2.mov",
                                  "show 2026/12/06/AB12_3/143005_CH_2_2.mov",
                                  "show 2026/12/06/AB12_3/143005_CH_ALL.mov",
                              }));
}

TEST_F(ArchiveTest, WithSaveDataOffOnlyTheSelectedRecordersClipReachesThePreview)
{
    const Bytes red = fileBytes(movietest::clipPath(kRedClip));
    const Bytes blue = fileBytes(movietest::clipPath(kBlueClip));
    ASSERT_GT(red.size(), Archive::kClipThreshold);
    ASSERT_GT(blue.size(), Archive::kClipThreshold);

    movieview::MovieEngineSession session;
    movieview::TQTMovie movie;
    movie.resize(320, 240);
    movie.show();
    MovieClipViewer viewer(movie);
    m_archive.setClipViewer(&viewer);
    m_lists.append("OTHER_1", "x");
    select("AB12_3");
    const std::string preview = root() + "2026/12/06/AB12_3/temp.mov";

    m_archive.setSaveData(false);
    m_archive.StorePositionSentence("AB12_3", "$GPRMC,1");
    EXPECT_EQ(m_archive.PreviewFile("AB12_3"), preview);
    m_archive.StoreClip("OTHER_1", red, "1");
    EXPECT_EQ(treeOf(root()), (Tree{{"2026", kFolder},
                                    {"2026/12", kFolder},
                                    {"2026/12/06", kFolder},
                                    {"2026/12/06/AB12_3", kFolder},
                                    {"2026/12/06/OTHER_1", kFolder}}))
        << "folders made, no sentence, another recorder's clip dropped";
    EXPECT_EQ(movie.FileName(), QString());

    for (const auto& [bytes, colour] :
         {std::pair{&red, movietest::kRed}, {&blue, movietest::kBlue}}) {
        m_archive.StoreClip("AB12_3", *bytes, "2");
        EXPECT_EQ(readBytes(preview), *bytes) << "the preview is replaced by each clip";
        EXPECT_EQ(movie.FileName(), QString::fromStdString(preview));
        EXPECT_TRUE(movie.HasPicture());
        EXPECT_TRUE(movietest::closeColour(movie.grab().toImage().pixelColor(160, 120), colour));
    }
    EXPECT_EQ(treeOf(root() + "2026/12/06/AB12_3/").size(), 1u) << "nothing but the preview";

    m_archive.setSaveData(true);
    m_archive.StoreClip("AB12_3", red, "3");
    EXPECT_EQ(movie.FileName(),
              QString::fromStdString(root() + "2026/12/06/AB12_3/143005_CH_3.mov"));
    EXPECT_EQ(readBytes(preview), blue) << "archiving leaves the preview alone";
}

TEST_F(ArchiveTest, EveryKeyGetsItsOwnFolderInsideTheDayFolder)
{
    struct Case
    {
        const char* legend;
        std::string key; // Windows-1252
        std::string folder;
        bool readBack = true; // the folder name gives the key back
    };
    const std::string euro90(90, '\x80'); // 3 UTF-8 bytes each: 270 bytes
    std::string euro73;
    for (int i = 0; i < 73; ++i)
        euro73 += "\xE2\x82\xAC";
    const Case cases[] = {
        {"plain key stays", "AB12_3", "AB12_3"},
        {"dotted address stays", "192.168.0.7", "192.168.0.7"},
        {"a lone percent sign stays", "50%_1", "50%_1"},
        {"Windows-1252 becomes UTF-8", "Caf\xE9_1", "Caf\xC3\xA9_1"},
        {"slash escaped", "a/b", "a%2Fb"},
        {"leading slash escaped", "/etc", "%2Fetc"},
        {"climbing out escaped, and not hidden", "../../x", "%2E.%2F..%2Fx"},
        {"dot", ".", "%2E"},
        {"dot dot", "..", "%2E%2E"},
        {"an escape-like key is escaped so that it differs from a/b", "a%2Fb", "a%252Fb"},
        {"the empty key", "", "%00"},
        {"CR LF and a forged line", "AB\r\n12:00:00 MACID=FORGED_9",
         "AB%0D%0A12:00:00 MACID=FORGED_9"},
        {"a terminal escape sequence", "\x1B[31mRED", "%1B[31mRED"},
        {"tab and DEL", "a\tb\x7F", "a%09b%7F"},
        {"an undefined Windows-1252 byte would be a C1 control", "a\x81", "a%81"},
        {"a leading dot would hide the folder", ".hidden", "%2Ehidden"},
        {"only the leading dot", "..x", "%2E.x"},
        {"255 bytes fit", std::string(85, '\x80'),
         [] {
             std::string s;
             for (int i = 0; i < 85; ++i)
                 s += "\xE2\x82\xAC";
             return s;
         }()},
        {"a 300-byte key: its front and a hash", std::string(300, 'K'),
         std::string(220, 'K') + "%0061e1921fd2d8dd4cbc277fab8715cc0d", false},
        {"a 300-byte key that differs only at the end", std::string(299, 'K') + "L",
         std::string(220, 'K') + "%000c0d11cae3a0d24ab9242aa330e812f9", false},
        {"90 characters of 3 UTF-8 bytes: cut between characters", euro90,
         euro73 + "%0036ba8f771fd592cec0fe92d99334140b", false},
        {"cut before an escape, not inside it", std::string(219, 'K') + std::string(40, '/'),
         std::string(219, 'K') + "%005829cbcc93345f0ff04a6973d291a38b", false},
    };
    const std::string day = root() + "2026/12/06/";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        m_archive.StorePositionSentence(c.key, "$GPRMC");
        EXPECT_EQ(m_archive.DeviceFolder(c.key), day + c.folder);
        EXPECT_TRUE(fs::is_regular_file(day + c.folder + "/143005.bin"));
        EXPECT_LE(c.folder.size(), 255u);
        EXPECT_EQ(archive::deviceFolderKey(c.folder),
                  c.readBack ? std::optional(c.key) : std::nullopt);
    }
    // Each key's folder holds exactly its one file, and nothing lies elsewhere.
    Tree expected = {{"2026", kFolder}, {"2026/12", kFolder}, {"2026/12/06", kFolder}};
    for (const Case& c : cases) {
        expected["2026/12/06/" + c.folder] = kFolder;
        expected["2026/12/06/" + c.folder + "/143005.bin"] = 8;
    }
    EXPECT_EQ(treeOf(root()), expected);
}

TEST_F(ArchiveTest, FailuresAreSilentAndHarmNothingElse)
{
    struct Case
    {
        const char* legend;
        // Given the day folder, which exists, and the viewer.
        std::function<void(const std::string&, RecordingViewer&)> obstruct;
        Tree expectedInDay;
        std::vector<std::string> viewerCalls;
    };
    const Case cases[] = {
        {"a file where the recorder's folder should be",
         [](const std::string& day, RecordingViewer&) {
             std::ofstream(day + "AB12_3") << "in the way";
         },
         {{"AB12_3", 10},
          {"CD_9", kFolder},
          {"CD_9/143005.bin", 8},
          {"CD_9/143005_CH_1.mov", 2001}},
         {}},
        {"folders where the file names should be: the next free name",
         [](const std::string& day, RecordingViewer&) {
             fs::create_directories(day + "AB12_3/143005.bin");
             fs::create_directories(day + "AB12_3/143005_CH_1.mov");
         },
         {{"AB12_3", kFolder},
          {"AB12_3/143005.bin", kFolder},
          {"AB12_3/143005_2.bin", 8},
          {"AB12_3/143005_CH_1.mov", kFolder},
          {"AB12_3/143005_CH_1_2.mov", 2001},
          {"CD_9", kFolder},
          {"CD_9/143005.bin", 8},
          {"CD_9/143005_CH_1.mov", 2001}},
         {"show 2026/12/06/AB12_3/143005_CH_1_2.mov"}},
        {"the movie view cannot show the clip",
         [](const std::string&, RecordingViewer& viewer) { viewer.failShow = true; },
         {{"AB12_3", kFolder},
          {"AB12_3/143005.bin", 8},
          {"AB12_3/143005_CH_1.mov", 2001},
          {"CD_9", kFolder},
          {"CD_9/143005.bin", 8},
          {"CD_9/143005_CH_1.mov", 2001}},
         {"show 2026/12/06/AB12_3/143005_CH_1.mov"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        TempFolder folder;
        DeviceLists lists;
        lists.append("AB12_3", "x");
        lists.select(0);
        Archive archive(folder.path(), m_clock, lists);
        RecordingViewer viewer(folder.path());
        archive.setClipViewer(&viewer);
        archive.BuildDayFolder();
        ASSERT_TRUE(fs::is_directory(archive.DayFolder()));
        c.obstruct(archive.DayFolder(), viewer);
        for (const char* key : {"AB12_3", "CD_9"}) {
            archive.StorePositionSentence(key, "$GPRMC");
            archive.StoreClip(key, clipEvent(2001), "1");
        }
        EXPECT_EQ(treeOf(archive.DayFolder()), c.expectedInDay);
        EXPECT_EQ(viewer.calls, c.viewerCalls);
    }
}

TEST_F(ArchiveTest, AFileInPlaceOfTheDayFolderStopsOnlyThatDay)
{
    m_archive.setClipViewer(&m_viewer);
    select("AB12_3");
    std::ofstream(root() + "2026") << "in the way";
    m_archive.BuildDayFolder();
    m_archive.StorePositionSentence("AB12_3", "$GPRMC");
    m_archive.StoreClip("AB12_3", clipEvent(2001), "1");
    m_archive.setSaveData(false);
    m_archive.StoreClip("AB12_3", clipEvent(2001), "1");
    EXPECT_EQ(treeOf(root()), (Tree{{"2026", 10}}));
    EXPECT_EQ(m_viewer.calls, std::vector<std::string>{"close"});

    fs::remove(root() + "2026");
    m_archive.StoreClip("AB12_3", clipEvent(2001), "1");
    EXPECT_TRUE(fs::is_regular_file(root() + "2026/12/06/AB12_3/temp.mov")) << "works again";
}
