// Windows-1252 <-> UTF-8 at the edges: every byte survives the round trip, and
// text with no Windows-1252 form turns into '?' rather than into wrong bytes.
#include "TextCodec.h"

#include <gtest/gtest.h>
#include <string>

using platform::utf8ToWindows1252;
using platform::windows1252ToUtf8;

namespace {

struct CodecCase
{
    const char* legend;
    std::string windows1252;
    std::string utf8;
};

const CodecCase kBothWays[] = {
    {"plain ASCII", "GPRMC,123519,A", "GPRMC,123519,A"},
    {"empty", "", ""},
    {"Latin-1 letters", "M\xFCller \xC5se", "M\u00FCller \u00C5se"},
    {"euro sign from the 0x80 block", "\x80 5", "\u20AC 5"},
    {"quotes and dashes from the 0x80 block", "\x93x\x94\x96", "\u201Cx\u201D\u2013"},
    {"undefined byte 0x81 keeps its value", "a\x81z", "a\u0081z"},
    {"all five undefined bytes", "\x81\x8D\x8F\x90\x9D", "\u0081\u008D\u008F\u0090\u009D"},
    {"y with diaeresis at 0xFF", "\xFF", "\u00FF"},
};

const CodecCase kToWindows1252Only[] = {
    {"character outside Windows-1252", "?", "\u4E2D"},
    {"astral character counts as one", "a?b", "a\U0001F600b"},
    {"lone continuation byte", "a?z", "a\x80z"},
    {"cut-off sequence at the end", "ab?", "ab\xC3"},
    {"overlong form of '/'", "??", "\xC0\xAF"},
    {"encoded surrogate is not a character", "???", "\xED\xA0\x80"},
};

} // namespace

TEST(TextCodec, ConvertsBothWays)
{
    for (const auto& c : kBothWays) {
        EXPECT_EQ(windows1252ToUtf8(c.windows1252), c.utf8) << c.legend;
        EXPECT_EQ(utf8ToWindows1252(c.utf8), c.windows1252) << c.legend;
    }
}

TEST(TextCodec, MarksWhatHasNoWindows1252Form)
{
    for (const auto& c : kToWindows1252Only)
        EXPECT_EQ(utf8ToWindows1252(c.utf8), c.windows1252) << c.legend;
}

TEST(TextCodec, EveryByteSurvivesTheRoundTrip)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::string utf8 = windows1252ToUtf8(all);
    EXPECT_EQ(utf8ToWindows1252(utf8), all);
}

TEST(TextCodec, LongTextGrowsTheOutput)
{
    const std::string windows1252(10000, '\xE9'); // e acute, two UTF-8 bytes each
    const std::string utf8 = windows1252ToUtf8(windows1252);
    ASSERT_EQ(utf8.size(), 20000u);
    EXPECT_EQ(utf8ToWindows1252(utf8), windows1252);
}
