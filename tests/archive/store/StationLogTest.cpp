// The station's log written to real files: text from the wire can never start
// a line of its own and reads as UTF-8, and a log that cannot be written is
// told once, not at every line, and written again once it can be.
#include "StationLog.h"

#include "ManualClock.h"
#include "TempFolder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace monitor;
using testsupport::ManualClock;
namespace fs = std::filesystem;

namespace {

const platform::LocalTime kNow{2026, 12, 8, 14, 30, 5, 0};

std::vector<std::string> linesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(StationLog, WireTextStaysOnItsLineAsUtf8)
{
    struct Case
    {
        const char* legend;
        std::string wire; // Windows-1252, as the recorder sent it
        std::string shown;
    };
    const std::vector<Case> cases{
        {"a plain key", "SN1001_ID7", "SN1001_ID7"},
        {"Windows-1252 letters become UTF-8", "Sn\xE9\x80", "Sn\xC3\xA9\xE2\x82\xAC"},
        {"a forged line after CR LF", "A\r\n2026/12/08 00:00:00 STOP",
         "A%0D%0A2026/12/08 00:00:00 STOP"},
        {"a lone line feed", "A\nB", "A%0AB"},
        {"a zero byte", std::string("A\0B", 3), "A%00B"},
        {"a terminal's escape sequence", "\x1B[2J", "%1B[2J"},
        {"DEL", "A\x7F", "A%7F"},
        {"the bytes Windows-1252 leaves undefined", "\x81\x8D\x8F\x90\x9D", "%81%8D%8F%90%9D"},
        {"0x85 is an ellipsis here, not a line break", "A\x85", "A\xE2\x80\xA6"},
        {"a % that reads as an escape", "100%41", "100%2541"},
        {"a % that does not", "50% off, 5%", "50% off, 5%"},
        {"a % before one hex digit at the end", "%4", "%4"},
    };
    TempFolder folder;
    ManualClock clock(kNow);
    StationLog log(folder.path(), clock);
    for (const Case& c : cases)
        log.write(LogKind::login, StationLog::wireText(c.wire));

    const std::vector<std::string> lines =
        linesOf(folder.path() + "log/2026 12/08 Tessaro.log.txt");
    ASSERT_EQ(lines.size(), cases.size()) << "a line was split or lost";
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(lines[i], "2026/12/08 14:30:05 LOGIN     " + cases[i].shown) << cases[i].legend;
}

TEST(StationLog, AnUnwritableLogIsToldOnceAndWrittenAgainOnceItCanBe)
{
    TempFolder folder;
    ManualClock clock(kNow);
    std::vector<std::string> told;
    StationLog log(folder.path(), clock,
                   [&told](const std::string& line) { told.push_back(line); });
    const std::string logFolder = folder.path() + "log";
    std::ofstream(logFolder) << "a file where the log's folder belongs";

    for (int line = 0; line < 3; ++line)
        log.write(LogKind::storage, "lost");
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("the station log cannot be written: " + logFolder), std::string::npos)
        << told[0];

    fs::remove(logFolder);
    log.write(LogKind::storage, "kept");
    EXPECT_EQ(linesOf(StationLog::pathFor(folder.path(), kNow)),
              std::vector<std::string>{"2026/12/08 14:30:05 STORAGE   kept"});
    fs::remove_all(logFolder);
    std::ofstream(logFolder) << "again";
    log.write(LogKind::storage, "lost");
    EXPECT_EQ(told.size(), 2u) << "a new failure after a written line is told again";
}

} // namespace
