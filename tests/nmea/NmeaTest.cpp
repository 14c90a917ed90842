// Reading a recorded drive: the RMC sentences of an NMEA log, in order and
// without line ends, among what else a receiver's log holds.
#include "RmcLog.h"

#include "NmeaChecksum.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace recorder;

namespace {

const std::string kCar =
    "$GPRMC,143306.50,A,5546.82983,N,02334.72123,E,30.324,221.16,091209,,,A*52";
const std::string kParked = "$GNRMC,171926.00,A,4404.14063,N,12118.85478,W,0.117,,180315,,,A*76";

struct LogCase
{
    const char* legend;
    std::string log;
    std::vector<std::string> sentences;
};

TEST(RmcLog, TakesTheRmcSentencesInOrder)
{
    const LogCase cases[] = {
        {"LF line ends; a comment, other kinds and a blank line in between",
         "# Moving in car\n$GPGGA,143306.00,5546.83315,N*5B\n" + kCar + "\n\n$GPVTG,,T*30\n" +
             kParked + "\n",
         {kCar, kParked}},
        {"CR LF line ends, the CR not part of the sentence",
         kParked + "\r\n\r\n" + kCar + "\r\n",
         {kParked, kCar}},
        {"the last line without a line end", "$GPGSA,A,3*0A\n" + kCar, {kCar}},
        {"near misses: RMB, an RMC quoted in a comment, RMC of another talker",
         "$GPRMB,A,,,,,,,,,,,,V*71\n# " + kCar + "\n$INRMC,194101,A*60\n",
         {}},
        {"an empty log", "", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rmcSentencesOf(c.log), c.sentences) << c.legend;
}

} // namespace

// A replayed drive is sent as a live recorder sends it: the time of sending
// and today's date, with a checksum that matches.
TEST(RmcLog, RedatedSentencesCarryTheTimeOfSending)
{
    using namespace std::chrono;
    const sys_time<milliseconds> when = sys_days{2026y / December / 8} + 14h + 3min + 7s + 250ms;
    struct Case
    {
        const char* legend;
        std::string log;
        std::string sent;
    };
    const Case cases[] = {
        {"two decimals kept", kCar,
         "$GPRMC,140307.25,A,5546.82983,N,02334.72123,E,30.324,221.16,081226,,,A"},
        {"a combined receiver's sentence", kParked,
         "$GNRMC,140307.25,A,4404.14063,N,12118.85478,W,0.117,,081226,,,A"},
        {"no decimals, no checksum",
         "$GPRMC,095304,A,2712.6520,S,15303.1397,E,0.00,133.96,080407,,",
         "$GPRMC,140307,A,2712.6520,S,15303.1397,E,0.00,133.96,081226,,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        const std::string sent = redatedRmc(c.log, when);
        EXPECT_EQ(sent.substr(0, sent.find('*')), c.sent);
        EXPECT_TRUE(hasValidNmeaChecksum(sent)) << sent;
    }
    EXPECT_EQ(redatedRmc("$GPRMC,1,A*00", when), "$GPRMC,1,A*00") << "too few fields: unchanged";
}
