// Real receivers' output (tests/data/nmea) against the golden listing beside
// each capture: which sentences the check before the GPS port admits, and the
// RMC fields parsed from them. A difference names the first line that differs.
#include "CaptureListing.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

} // namespace

TEST(NmeaCapture, EachCaptureGivesItsGoldenListing)
{
    const char* const captures[] = {
        "rmc-fixes.nmea",      // first fixes of four receivers, both hemispheres
        "bt451-car.nmea",      // a car, two fixes a second, every sentence kind
        "nl402u-slow.nmea",    // a receiver creeping east, one fix a second
        "neo-m8n-parked.nmea", // GPS and GLONASS combined ($GN), empty course
    };
    for (const char* name : captures) {
        SCOPED_TRACE(name);
        const std::string path = std::string(STATION_TEST_DATA) + "/nmea/" + name;
        const std::vector<std::string> got = lines(nmeatest::captureListing(fileText(path)));
        const std::vector<std::string> golden =
            lines(nmeatest::withoutComments(fileText(path + ".chk")));
        ASSERT_FALSE(golden.empty()) << path << ".chk holds no listing";
        for (std::size_t i = 0; i < std::min(got.size(), golden.size()); ++i)
            ASSERT_EQ(got[i], golden[i]) << "listing line " << i + 1;
        EXPECT_EQ(got.size(), golden.size()) << "listing lines";
    }
}
