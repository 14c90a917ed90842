// Sentences of real receivers, sent by the station to the virtual GPS port,
// reach a navigation client: the port is a socat pty pair as scripts/vgps
// makes it, gpsd reads the pair's other side, and gpspipe, a gpsd client,
// reports a fix at the sentence's latitude and longitude.
#include "ChildProcess.h"
#include "GpsForwarderRig.h"
#include "GpsdHarness.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr seconds kFixTimeout{20};
constexpr double kDegreesTolerance = 1e-6;

struct FixCase
{
    const char* legend;
    double latitude;
    double longitude;
};

// In the order of the sentences in rmc-fixes.nmea.
const FixCase kFixes[] = {
    {"haicom-305N: south, east, milliseconds", -(27 + 12.6520 / 60), 153 + 3.1397 / 60},
    {"bt451: north, five-digit minutes, empty course", 55 + 47.82113 / 60, 23 + 34.14130 / 60},
    {"garmin48: whole seconds, magnetic variation", -(45 + 27.458 / 60), 167 + 9.165 / 60},
    {"telit-he910: north, centiseconds", 50 + 50.4122 / 60, 4 + 20.8266 / 60},
};

} // namespace

TEST(GpsdForwarding, ClientSeesTheFixOfEachSentence)
{
    const auto sentences = capturedRmcSentences();
    ASSERT_EQ(sentences.size(), std::size(kFixes));

    TempFolder devices;
    const std::string input = devices.path() + "VGPSIn";
    const std::string output = devices.path() + "ttyVGPS";
    const auto socat = startPtyPair(input, output);
    const int port = testsupport::freePort();
    const auto gpsd = startGpsd(output, devices.path(), port);
    ChildProcess client(
        {findTool("gpspipe", "gpsd-clients"), "-w", "127.0.0.1:" + std::to_string(port)},
        ChildProcess::Output::Capture);

    GpsForwarderRig rig(input);
    rig.forwarder.OpenPort();
    ASSERT_TRUE(rig.forwarder.GpsPortOpen());
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        const auto& c = kFixes[i];
        bool seen = false;
        const auto deadline = std::chrono::steady_clock::now() + kFixTimeout;
        // gpsd may take a sentence or two to recognise NMEA; the station
        // repeats its sentence, as its timers do.
        while (!seen && std::chrono::steady_clock::now() < deadline) {
            rig.forwarder.SendGpsSentence(sentences[i] + "\r\n");
            const auto until = std::chrono::steady_clock::now() + milliseconds(500);
            while (!seen && std::chrono::steady_clock::now() < until) {
                const auto line = client.readLine(milliseconds(100));
                if (!line || line->find("\"class\":\"TPV\"") == std::string::npos)
                    continue;
                const auto lat = jsonNumber(*line, "lat");
                const auto lon = jsonNumber(*line, "lon");
                seen = lat && lon && std::abs(*lat - c.latitude) < kDegreesTolerance &&
                       std::abs(*lon - c.longitude) < kDegreesTolerance;
            }
        }
        EXPECT_TRUE(seen) << c.legend << ": " << sentences[i];
    }
}
