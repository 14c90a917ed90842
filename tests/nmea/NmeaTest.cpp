// The NMEA module, one table per behaviour: the checksum, the check of a
// sentence before the GPS port, the fields of RMC sentences, RMC sentences
// built (and read back), and the RMC lines of a receiver's log as a recorder
// sends them.
#include "CaptureListing.h"
#include "NmeaChecksum.h"
#include "NmeaSentence.h"
#include "RmcFields.h"
#include "RmcLog.h"
#include "RmcSentence.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace nmea;
using namespace std::chrono;
using nmeatest::fieldsText;

namespace {

sys_time<milliseconds> utc(int y, unsigned mo, unsigned d, int h, int mi, int s, int ms)
{
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s} +
           milliseconds{ms};
}

const std::string kCar =
    "$GPRMC,143306.50,A,5546.82983,N,02334.72123,E,30.324,221.16,091209,,,A*52";
const std::string kParked = "$GNRMC,171926.00,A,4404.14063,N,12118.85478,W,0.117,,180315,,,A*76";
const std::string kFix = "$GPRMC,225308,A,4527.458,S,16709.165,E,000.0,094.5,060601,024.1,E*6D";

struct ChecksumCase
{
    const char* legend;
    const char* sentence;
    bool valid;
};

const ChecksumCase kChecksums[] = {
    {"textbook RMC sentence",
     "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A", true},
    {"lower-case hex digits",
     "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6a", true},
    {"one character changed",
     "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,E*6A", false},
    {"no leading $", "GPRMC,123519,A*6A", false},
    {"no checksum", "$GPRMC,123519,A", false},
    {"line end after the checksum",
     "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n", false},
    {"one hex digit only", "$GPGGA*6", false},
    {"non-hex digit", "$GPGGA*6G", false},
};

struct RmcCase
{
    const char* legend;
    RmcFix fix;
    const char* golden;   // checksums worked out independently of this code
    const char* readBack; // what parseRmc makes of it (two-digit years are 20yy)
};

const RmcCase kRmc[] = {
    {"textbook position, north-east",
     {utc(1994, 3, 23, 12, 35, 19, 0), true, 48.1173, 11.0 + 31.0 / 60.0, 22.4, 84.4},
     "$GPRMC,123519.000,A,4807.0380,N,01131.0000,E,022.40,084.40,230394,,,A*62",
     "A 2094-03-23 12:35:19.000 48.1173000 11.5166667 22.400 84.40"},
    {"south-west, status V, milliseconds",
     {utc(2000, 1, 1, 0, 0, 0, 250), false, -33.8688, -151.2093, 0.0, 359.9},
     "$GPRMC,000000.250,V,3352.1280,S,15112.5580,W,000.00,359.90,010100,,,A*75",
     "V 2000-01-01 00:00:00.250 -33.8688000 -151.2093000 0.000 359.90"},
    {"minutes rounding up to a whole degree, speed clamped, course wrapped",
     {utc(1999, 12, 31, 23, 59, 59, 999), true, 10.999999999, 0.0, 1234.0, 720.0},
     "$GPRMC,235959.999,A,1100.0000,N,00000.0000,E,999.99,000.00,311299,,,A*6E",
     "A 2099-12-31 23:59:59.999 11.0000000 0.0000000 999.990 0.00"},
};

} // namespace

TEST(NmeaChecksum, ValidatesSentences)
{
    for (const auto& c : kChecksums)
        EXPECT_EQ(hasValidNmeaChecksum(c.sentence), c.valid) << c.legend;
}

// The check before the GPS port, with the first rule each text breaks.
TEST(NmeaSentence, AdmitsOneWellFormedSentenceOnly)
{
    struct Case
    {
        const char* legend;
        std::string text;
        SentenceFault fault;
    };
    std::string lowerCase = kFix;
    lowerCase.back() = 'd';
    std::string wrongSum = kFix;
    wrongSum.back() = '9';
    std::string everyByte;
    for (int b = 1; b <= 255; ++b)
        everyByte.push_back(static_cast<char>(b));
    const std::string longest = "$GPTXT," + std::string(80 - 7, 'A'); // 82 with CR LF
    using enum SentenceFault;
    const Case cases[] = {
        {"a real fix with its checksum", kFix, None},
        {"checksum digits in lower case", lowerCase, None},
        {"no checksum", "$GPRMC,225308,A,4527.458,S", None},
        {"80 characters, 82 with CR LF", longest, None},
        {"81 characters", longest + "A", TooLong},
        {"a 40,000-byte line", "$GPRMC," + std::string(40000, '1'), TooLong},
        {"wrong checksum", wrongSum, ChecksumMismatch},
        {"one checksum digit", "$GPRMC,1*5", BadChecksumField},
        {"three checksum digits", "$GPRMC,1*560", BadChecksumField},
        {"checksum not hex", "$GPRMC,1*5G", BadChecksumField},
        {"a fix, CR LF and a forged fix", kFix + "\r\n" + kCar, TooLong},
        {"a short one, CR LF and a forged one", "$GPRMC,1*3B\r\n$GPRMC,2", BadChecksumField},
        {"a fix with its own CR LF", kFix + "\r\n", BadChecksumField},
        {"a fix and a line feed, no checksum", "$GPRMC,1\n", ForbiddenByte},
        {"a carriage return inside", "$GPRMC,1\r,2", ForbiddenByte},
        {"a zero byte inside", std::string("$GPRMC,1\0,2", 11), ForbiddenByte},
        {"a second start inside", "$GPRMC,1$GPRMC,2", ForbiddenByte},
        {"an encapsulated start inside", "$GPRMC,1!AIVDM", ForbiddenByte},
        {"a tab", "$GPRMC,\t1", ForbiddenByte},
        {"Windows-1252 letter", "$GPRMC,Caf\xE9", ForbiddenByte},
        {"DEL", "$GPRMC,\x7F", ForbiddenByte},
        {"bytes 1 to 255", "$" + everyByte, TooLong},
        {"bytes 1 to 70", "$" + everyByte.substr(0, 70), ForbiddenByte},
        {"no \"$\"", "GPRMC,1", NoStart},
        {"a blank before \"$\"", " $GPRMC,1", NoStart},
        {"empty", "", NoStart},
        {"\"$\" alone", "$", NoBody},
        {"\"$\" and a checksum", "$*00", NoBody},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(faultText(sentenceFault(c.text)), faultText(c.fault)) << c.legend;
        EXPECT_EQ(isWellFormedNmeaSentence(c.text), c.fault == None) << c.legend;
    }
}

// Any talker's RMC sentence; a field out of its range is left empty, the rest kept.
TEST(RmcFields, ParsesWhatTheSentenceHolds)
{
    struct Case
    {
        const char* legend;
        std::string sentence;
        std::string fields; // STATUS DATE UTC LAT LON KNOTS COURSE
    };
    const std::string inland =
        "$INRMC,104706.000,A,5405.6081,N,01049.4791,E,0.24,18.02,240709,,,A*43";
    const Case cases[] = {
        {"a real fix", kCar, "A 2009-12-09 14:33:06.500 55.7804972 23.5786872 30.324 221.16"},
        {"a combined receiver's fix, empty course", kParked,
         "A 2015-03-18 17:19:26.000 44.0690105 -121.3142463 0.117 -"},
        {"another talker, line end kept", inland + "\r\n",
         "A 2009-07-24 10:47:06.000 54.0934683 10.8246517 0.240 18.02"},
        {"south and west, status V",
         "$GNRMC,000000.250,V,3352.1280,S,15112.5580,W,000.00,359.90,010100,,,A*6B",
         "V 2000-01-01 00:00:00.250 -33.8688000 -151.2093000 0.000 359.90"},
        {"the extremes: a leap second, a pole, the date line, course 360",
         "$GPRMC,235960.5,A,9000.000,S,18000.000,W,0,360,311299*06",
         "A 2099-12-31 23:59:60.500 -90.0000000 -180.0000000 0.000 360.00"},
        {"no fix: every field empty", "$GPRMC,,V,,,,,,,,,,N*53", "V - - - - - -"},
        {"hour 24, minute 60, longitude 181, speed -1, course 361, month 13",
         "$GPRMC,240000,A,4860.000,N,18100.000,E,-1.0,361.0,011326,,,A*5B", "A - - - - - -"},
        {"no hemisphere: no place at all; no speed, no course",
         "$GPRMC,104706.000,A,5405.6081,X,01049.4791,E,,,240709*15",
         "A 2009-07-24 10:47:06.000 - - - -"},
        {"no checksum", "$GPRMC,225308,A,4527.458,S,16709.165,E,000.0,094.5,060601",
         "A 2001-06-06 22:53:08.000 -45.4576333 167.1527500 0.000 94.50"},
        {"wrong checksum", inland.substr(0, inland.size() - 1) + "4", "not RMC"},
        {"one checksum digit", inland.substr(0, inland.size() - 1), "not RMC"},
        {"\"nan\" minutes, \"inf\" speed and \"nan\" course are no values",
         "$GPRMC,104706.000,A,54nan,N,010inf,E,inf,nan,240709*0F",
         "A 2009-07-24 10:47:06.000 - - - -"},
        {"a latitude of \"nan\" minutes takes the place; a speed in exponent form",
         "$GPRMC,104706.000,A,54nan,N,01049.4791,E,1e2,18.02,240709*05",
         "A 2009-07-24 10:47:06.000 - - 100.000 18.02"},
        {"another kind of sentence",
         "$GPGGA,143306.00,5546.83315,N,02334.72613,E,1,08,1.28,129.9,M,26.9,M,,*5B", "not RMC"},
        {"fewer than ten fields", "$GPRMC,1,A*3B", "not RMC"},
        {"no \"$\"", kCar.substr(1), "not RMC"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fieldsText(parseRmc(c.sentence)), c.fields) << c.legend;
}

TEST(RmcSentence, MatchesGoldenSentencesThatReadBack)
{
    for (const auto& c : kRmc) {
        std::string out = "prefix kept:";
        appendRmcSentence(out, c.fix);
        EXPECT_EQ(out, std::string("prefix kept:") + c.golden) << c.legend;
        EXPECT_EQ(fieldsText(parseRmc(c.golden)), c.readBack) << c.legend;
    }
}

namespace {

struct LogCase
{
    const char* legend;
    std::string log;
    std::vector<std::string> sentences;
};

} // namespace

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

// A replayed drive is sent as a live recorder sends it: the time of sending
// and today's date, with a checksum that matches.
TEST(RmcLog, RedatedSentencesCarryTheTimeOfSending)
{
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
    EXPECT_EQ(redatedRmc("", when), "") << "an empty line: unchanged";
}
