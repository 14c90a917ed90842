#include "RecorderSession.h"

#include "DeviceInfoText.h"
#include "EventTimeText.h"
#include "PacketBytes.h"
#include "RecorderConnection.h"
#include "Route.h"
#include "TextCodec.h"

#include <condition_variable>
#include <mutex>

namespace recorder {

namespace {

using Clock = std::chrono::steady_clock;

// Where the simulated fleet drives: recorder n starts kFleetSpacingDeg north of n - 1.
constexpr double kBaseLatitudeDeg = 48.1173;
constexpr double kBaseLongitudeDeg = 11.5167;
constexpr double kFleetSpacingDeg = 0.01;
constexpr double kSpeedKnots = 30.0;
constexpr double kCourseSpreadDeg = 37.0;
constexpr std::chrono::milliseconds kDefaultFixStep{1000};

// Sleeps for d unless a stop is requested first.
void pause(std::stop_token stop, std::chrono::milliseconds d)
{
    if (d.count() <= 0)
        return;
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    cv.wait_for(lock, stop, d, [] { return false; });
}

struct Packet
{
    std::uint16_t command;
    std::span<const std::uint8_t> payload;
    bool clip;
};

} // namespace

void SessionReport::fail(std::string text)
{
    ++errors;
    if (errorTexts.size() < kMaxErrorTexts)
        errorTexts.push_back(std::move(text));
}

RecorderSession::RecorderSession(const SimOptions& options, unsigned index,
                                 std::span<const std::uint8_t> clip,
                                 std::span<const std::string> track)
    : m_options(options), m_index(index), m_clip(clip), m_track(track)
{
}

SessionReport RecorderSession::run(std::stop_token stop)
{
    SessionReport report;
    report.index = m_index;
    const DeviceInfo device = deviceForRecorder(m_options, m_index);
    report.key = platform::windows1252ToUtf8(deviceKey(device));

    if (m_options.ramp.count() > 0 && m_options.recorders > 1)
        pause(stop, m_options.ramp * m_index / m_options.recorders);
    if (stop.stop_requested())
        return report;
    RecorderConnection connection;
    if (!connection.connect(m_options.host, m_options.port)) {
        report.fail(connection.lastError());
        return report;
    }
    report.connected = true;

    const auto now =
        std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
    RouteStart start;
    start.first.time = now;
    start.first.latitudeDeg = kBaseLatitudeDeg + kFleetSpacingDeg * m_index;
    start.first.longitudeDeg = kBaseLongitudeDeg;
    start.first.speedKnots = kSpeedKnots;
    start.first.courseDeg = kCourseSpreadDeg * m_index;
    start.step = m_options.interval.count() > 0 ? m_options.interval : kDefaultFixStep;
    Route route(start);

    // Sends one packet; false when the connection can no longer be trusted
    // (after a missing or wrong acknowledgement the stream is out of step).
    std::vector<std::uint16_t> unackedCommands;
    std::chrono::steady_clock::time_point firstClipStart{};
    bool firstPacket = true;
    const auto send = [&](const Packet& p) {
        if (!firstPacket)
            pause(stop, m_options.interval);
        firstPacket = false;
        const std::uint64_t bytes = kavrel::kHeaderSize + p.payload.size();
        if (m_options.noAck) {
            if (p.clip && report.clipBytes == 0)
                firstClipStart = Clock::now();
            if (!connection.sendPacketOnly(p.command, p.payload)) {
                report.fail(report.key + ": " + connection.lastError());
                return false;
            }
            unackedCommands.push_back(p.command);
        } else {
            const PacketResult r =
                connection.sendPacket(p.command, p.payload, m_options.ackTimeout);
            if (r.outcome == PacketResult::Outcome::SendFailed) {
                report.fail(report.key + ": " + r.error);
                return false;
            }
            if (!r.ok()) {
                ++report.packetsSent;
                report.bytesSent += bytes;
                report.fail(report.key + ": " + r.error);
                return false;
            }
            ++report.acksChecked;
            report.roundTrips.add(r.roundTrip);
            if (p.clip)
                report.clipTime += r.roundTrip;
        }
        ++report.packetsSent;
        report.bytesSent += bytes;
        if (p.clip)
            report.clipBytes += bytes;
        return !stop.stop_requested();
    };

    std::string text;
    appendDeviceInfoText(text, device);
    bool going = send({kavrel::EventCode::QUVEX_INFO, textBytes(text), false});
    unsigned eventNumber = 0;
    std::size_t trackIndex = 0;
    for (unsigned round = 0; going && round < m_options.repeat; ++round) {
        for (unsigned i = 0; going && i < m_options.positions; ++i) {
            text.clear();
            if (m_track.empty())
                appendRmcSentence(text, route.next());
            else
                text = m_track[trackIndex++ % m_track.size()];
            going = send({kavrel::EventCode::CMD_GPRMC_DATA, textBytes(text), false});
        }
        for (unsigned i = 0; going && i < m_options.events; ++i) {
            text.clear();
            appendEventTimeText(
                text,
                std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now()),
                ++eventNumber);
            going = send({kavrel::EventCode::CMD_QUVEX_TIME_EVENT, textBytes(text), false});
        }
        for (unsigned i = 0; going && !m_clip.empty() && i < m_options.clips; ++i)
            going = send({clipCommand(m_options.channel), m_clip, true});
    }

    if (m_options.noAck && connection.isOpen()) {
        // Whatever the receiver acknowledged arrives before it closes in turn.
        Bytes received;
        connection.shutdownSend();
        const auto closed = connection.waitForClose(m_options.ackTimeout, &received);
        if (report.clipBytes > 0)
            report.clipTime = Clock::now() - firstClipStart;
        if (closed != RecorderConnection::CloseWait::Closed)
            report.fail(report.key + ": receiver did not close within " +
                        std::to_string(m_options.ackTimeout.count()) + " ms after end of stream");
        if (!received.empty()) {
            std::size_t i = 0;
            for (; i < unackedCommands.size() && (i + 1) * kavrel::kAckSize <= received.size();
                 ++i) {
                const auto expected = kavrel::encodeAck(unackedCommands[i]);
                if (!std::equal(expected.begin(), expected.end(),
                                received.begin() +
                                    static_cast<std::ptrdiff_t>(i * kavrel::kAckSize)))
                    break;
            }
            report.acksChecked += i;
            if (received.size() != unackedCommands.size() * kavrel::kAckSize ||
                i != unackedCommands.size())
                report.fail(report.key + ": " + std::to_string(received.size()) +
                            " acknowledgement bytes for " + std::to_string(unackedCommands.size()) +
                            " packets, the first " + std::to_string(i) + " right");
        }
    }
    return report;
}

} // namespace recorder
