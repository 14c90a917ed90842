// The simulator's record builders: RMC sentences along a route, the
// device-information fields and key, event-time text, clip commands.
#include "ClipChannel.h"
#include "DeviceInfoText.h"
#include "EventTimeText.h"
#include "NmeaChecksum.h"
#include "PacketBytes.h"
#include "RmcSentence.h"
#include "Route.h"
#include "kavrel_link.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace recorder;
using namespace std::chrono;

namespace {

sys_time<milliseconds> utc(int y, unsigned mo, unsigned d, int h, int mi, int s, int ms)
{
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s} +
           milliseconds{ms};
}

} // namespace

TEST(RmcSentence, EveryFixAlongARouteHasAValidChecksumAndFixedLength)
{
    RouteStart start;
    start.first = {utc(2024, 2, 29, 23, 59, 0, 0), true, 59.9, 179.99, 40.0, 45.0};
    start.step = seconds{7};
    start.turnDegPerStep = 13.0;
    Route route(start);
    nmea::RmcFix previous = route.next();
    for (int i = 0; i < 500; ++i) {
        const nmea::RmcFix fix = route.next();
        std::string sentence;
        nmea::appendRmcSentence(sentence, fix);
        ASSERT_TRUE(nmea::hasValidNmeaChecksum(sentence)) << i << ": " << sentence;
        // Eight header bytes + 72 = the 80-byte position packet.
        ASSERT_EQ(sentence.size(), 72u) << sentence;
        ASSERT_EQ(fix.time - previous.time, seconds{7});
        ASSERT_LE(std::abs(fix.longitudeDeg), 180.0) << "longitude wraps at the date line";
        previous = fix;
    }
}

TEST(DeviceInfoText, SevenFieldsAndTheKey)
{
    struct Case
    {
        const char* legend;
        DeviceInfo info;
        const char* text; // Windows-1252
        const char* key;
    };
    const Case cases[] = {
        {"plain fields", {{"A", "B", "C", "D", "E", "F", "G"}}, "A,B,C,D,E,F,G", "B_G"},
        {"empty fields keep their commas", {{"", "SN7", "", "", "", "", ""}}, ",SN7,,,,,", "SN7_"},
        {"commas allowed in field 7 only",
         {{"1", "2", "3", "4", "5", "6", "7,8"}},
         "1,2,3,4,5,6,7,8",
         "2_7,8"},
        {"UTF-8 in, Windows-1252 out",
         {{"x", "M\u00FCller", "", "", "\u20AC", "", "\u4E2D"}},
         "x,M\xFCller,,,\x80,,?",
         "M\xFCller_?"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(deviceInfoProblem(c.info)) << c.legend;
        std::string text;
        appendDeviceInfoText(text, c.info);
        EXPECT_EQ(text, c.text) << c.legend;
        EXPECT_EQ(deviceKey(c.info), c.key) << c.legend;
    }
}

TEST(DeviceInfoText, RejectsCommasInTheFirstSixFields)
{
    for (std::size_t field = 0; field < kIdField; ++field) {
        DeviceInfo info{{"a", "b", "c", "d", "e", "f", "g"}};
        info.fields[field] = "x,y";
        const auto problem = deviceInfoProblem(info);
        ASSERT_TRUE(problem) << "field " << field + 1;
        EXPECT_NE(problem->find("field " + std::to_string(field + 1)), std::string::npos)
            << *problem;
    }
}

TEST(EventTimeText, FirstFieldIsTheEventTime)
{
    std::string text;
    appendEventTimeText(text, utc(2023, 7, 4, 9, 5, 3, 999), 12);
    EXPECT_EQ(text, "2023/07/04 09:05:03,12");
}

TEST(ClipChannel, CommandPerChannel)
{
    struct Case
    {
        const char* text;
        std::uint16_t command;
    };
    const Case cases[] = {{"1", 257}, {"2", 258}, {"3", 259}, {"4", 260}, {"all", 240}};
    for (const auto& c : cases) {
        const auto channel = parseClipChannel(c.text);
        ASSERT_TRUE(channel) << c.text;
        EXPECT_EQ(clipCommand(*channel), c.command) << c.text;
        EXPECT_EQ(clipChannelName(*channel), c.text);
    }
    for (const char* bad : {"0", "5", "ALL", "", "1 "})
        EXPECT_FALSE(parseClipChannel(bad)) << '"' << bad << '"';
}

TEST(PacketBytes, HeaderThenPayload)
{
    Bytes out{0xEE};
    const std::uint8_t payload[] = {'a', 'b', 'c'};
    appendPacket(out, 0x0101, payload);
    const Bytes expected{0xEE, 0x01, 0x01, 0x03, 0x00, 0x00, 0x00, 0x03, 0x00, 'a', 'b', 'c'};
    EXPECT_EQ(out, expected);
}
