// Sentences of real receivers, sent by the station to the virtual GPS port,
// reach a navigation client: the port is a socat pty pair as scripts/vgps
// makes it, gpsd reads the pair's other side, and gpspipe, a gpsd client,
// reports a fix at the sentence's latitude and longitude.
#include "ChildProcess.h"
#include "GpsForwarderRig.h"

#include <arpa/inet.h>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

using testsupport::ChildProcess;
using testsupport::findTool;

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr seconds kStartTimeout{20};
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

std::vector<std::string> capturedSentences()
{
    std::ifstream in(std::string(STATION_TEST_DATA) + "/nmea/rmc-fixes.nmea");
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] == '$')
            out.push_back(line);
    return out;
}

// A port on 127.0.0.1 that nothing listens on right now.
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

std::optional<double> jsonNumber(const std::string& json, const std::string& key)
{
    const auto at = json.find("\"" + key + "\":");
    if (at == std::string::npos)
        return std::nullopt;
    return std::strtod(json.c_str() + at + key.size() + 3, nullptr);
}

// The pty pair, as scripts/vgps makes it; ready once socat says so.
std::unique_ptr<ChildProcess> startPtyPair(const std::string& input, const std::string& output)
{
    auto socat = std::make_unique<ChildProcess>(
        std::vector<std::string>{findTool("socat", "socat"), "-d", "-d",
                                 "pty,raw,echo=0,link=" + input, "pty,raw,echo=0,link=" + output},
        ChildProcess::Output::CaptureBoth);
    while (auto line = socat->readLine(kStartTimeout))
        if (line->find("starting data transfer loop") != std::string::npos)
            return socat;
    throw std::runtime_error("socat did not make its pty pair");
}

// gpsd in the foreground on a free port with a control socket of its own,
// ready once it accepts clients; it must not die while starting.
std::unique_ptr<ChildProcess> startGpsd(const std::string& device, const std::string& folder,
                                        int port)
{
    auto gpsd = std::make_unique<ChildProcess>(
        std::vector<std::string>{findTool("gpsd", "gpsd"), "-N", "-n", "-b", "-S",
                                 std::to_string(port), "-F", folder + "/gpsd.sock", device});
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (!(std::filesystem::exists(folder + "/gpsd.sock") && accepts(port))) {
        if (!gpsd->alive() || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("gpsd did not start");
        gpsd->waitExit(milliseconds(20)); // a bounded pause that ends early if it dies
    }
    return gpsd;
}

} // namespace

TEST(GpsdForwarding, ClientSeesTheFixOfEachSentence)
{
    const auto sentences = capturedSentences();
    ASSERT_EQ(sentences.size(), std::size(kFixes));

    TempFolder devices;
    const std::string input = devices.path() + "VGPSIn";
    const std::string output = devices.path() + "ttyVGPS";
    const auto socat = startPtyPair(input, output);
    const int port = freePort();
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
