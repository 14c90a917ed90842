// Event lines of the headless host: one line per event whatever the data holds,
// Windows-1252 text shown in UTF-8, nothing read beyond the length given.
#include "EventLine.h"

#include "EventPrinter.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

using namespace listenhost;

namespace {

struct LineCase
{
    const char* legend;
    const char* text;
    std::int32_t code;
    std::string data; // passed with the length below
    std::int32_t length;
    const char* line;
};

const LineCase kLines[] = {
    {"connection event with its time text", "10.0.0.7", 61440, "2024/01/02 03:04:05", 19,
     "61440 CONNECTION_OPENED  10.0.0.7  length 19  \"2024/01/02 03:04:05\""},
    {"position sentence, zero byte counted in the length", "BUS_7", 2,
     std::string("$GPRMC,1*00\0", 12), 12, "2 CMD_GPRMC_DATA  BUS_7  length 12  \"$GPRMC,1*00\""},
    {"Windows-1252 name and text become UTF-8", "M\xFCller_\x80", 0,
     std::string("a,M\xFCller\0", 10), 10,
     "0 QUVEX_INFO  M\u00FCller_\u20AC  length 10  \"a,M\u00FCller\""},
    {"control bytes, quote, backslash and undefined byte escaped", "k", 6,
     std::string("t\r\n\t\"\\\x01\x81\x7F\0", 11), 11,
     "6 CMD_QUVEX_TIME_EVENT  k  length 11  \"t\\r\\n\\t\\\"\\\\\\x01\\x81\\x7F\""},
    {"text stops at the length when no zero byte comes", "k", 2, "ABCDEFGH", 3,
     "2 CMD_GPRMC_DATA  k  length 3  \"ABC\""},
    {"clip shown as hex", "k", 257, std::string("\x00\x00\x01\xB6\0", 5), 5,
     "257 CMD_MPEG4_I_CH1  k  length 5  hex 00 00 01 B6 00"},
    {"undefined command shown as hex", "k", 5, "xy", 2, "5 UNKNOWN  k  length 2  hex 78 79"},
    {"no data", "k", 2, "", 0, "2 CMD_GPRMC_DATA  k  length 0"},
    {"negative length shows no data", "k", 2, "abc", -1, "2 CMD_GPRMC_DATA  k  length -1"},
    {"name with a line break stays on one line", "a\nb", 61441, "t", 1,
     "61441 CONNECTION_CLOSED  a\\nb  length 1  \"t\""},
};

} // namespace

TEST(EventLine, OneLinePerEvent)
{
    for (const auto& c : kLines)
        EXPECT_EQ(formatEventLine(c.text, c.code, c.data.data(), c.length), c.line) << c.legend;
}

TEST(EventLine, NullPointersAreShownAsAbsent)
{
    EXPECT_EQ(formatEventLine(nullptr, 2, nullptr, 5), "2 CMD_GPRMC_DATA  (no name)  length 5");
    EXPECT_EQ(formatEventLine("", 2, nullptr, 0), "2 CMD_GPRMC_DATA  (empty name)  length 0");
}

TEST(EventLine, LongDataIsCut)
{
    const std::string text(1000, 'x');
    const std::string line = formatEventLine("k", 2, text.data(), 1000);
    EXPECT_NE(line.find("\"" + std::string(kPreviewBytes, 'x') + "\"..."), std::string::npos);
    EXPECT_LT(line.size(), kPreviewBytes + 60);

    const std::string clip(1000, '\x11');
    EXPECT_EQ(formatEventLine("k", 240, clip.data(), 1000),
              "240 CMD_MPEG4_I_4in1  k  length 1000  hex 11 11 11 11 11 11 11 11 11 11 11 11 11 "
              "11 11 11 ...");
}

TEST(EventPrinter, CountsEveryEventAndPrintsUnlessQuiet)
{
    for (bool quiet : {false, true}) {
        std::FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        {
            EventPrinter printer(out, quiet);
            printer.report("k", 61440, "2024/01/02 03:04:05", 19);
            printer.report("k", 2, "$GP\0", 4);
            printer.report("k", 2, "$GP\0", 4);
            printer.report("k", 77, "x", 1);
            EXPECT_EQ(printer.totals(), "events: 2 CMD_GPRMC_DATA, 1 CONNECTION_OPENED, 1 other; "
                                        "packet payload bytes: 6")
                << "quiet " << quiet;
        }
        const long written = std::ftell(out);
        std::fclose(out);
        EXPECT_EQ(written > 0, !quiet);
    }
}
