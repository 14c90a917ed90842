// The virtual GPS port as scripts/vgps makes it, with gpsd reading it, for
// tests: a socat pty pair, gpsd in the foreground on a free port with a
// control socket of its own, and the numbers of gpsd's JSON reports.
#pragma once

#include "ChildProcess.h"
#include "FreePort.h"

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace testsupport {

inline constexpr std::chrono::seconds kStartTimeout{20};

// The RMC sentences of real receivers in tests/data/nmea/rmc-fixes.nmea, in
// file order.
inline std::vector<std::string> capturedRmcSentences()
{
    std::ifstream in(std::string(STATION_TEST_DATA) + "/nmea/rmc-fixes.nmea");
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] == '$')
            out.push_back(line);
    return out;
}

inline bool acceptsOn(int port)
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

inline std::optional<double> jsonNumber(const std::string& json, const std::string& key)
{
    const auto at = json.find("\"" + key + "\":");
    if (at == std::string::npos)
        return std::nullopt;
    return std::strtod(json.c_str() + at + key.size() + 3, nullptr);
}

// The pty pair, as scripts/vgps makes it; ready once socat says so.
inline std::unique_ptr<ChildProcess> startPtyPair(const std::string& input,
                                                  const std::string& output)
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
inline std::unique_ptr<ChildProcess> startGpsd(const std::string& device, const std::string& folder,
                                               int port)
{
    auto gpsd = std::make_unique<ChildProcess>(
        std::vector<std::string>{findTool("gpsd", "gpsd"), "-N", "-n", "-b", "-S",
                                 std::to_string(port), "-F", folder + "/gpsd.sock", device});
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (!(std::filesystem::exists(folder + "/gpsd.sock") && acceptsOn(port))) {
        if (!gpsd->alive() || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("gpsd did not start");
        gpsd->waitExit(std::chrono::milliseconds(20)); // a bounded pause that ends early if it dies
    }
    return gpsd;
}

} // namespace testsupport
