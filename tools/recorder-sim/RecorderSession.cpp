#include "RecorderSession.h"

#include "DeviceInfoText.h"
#include "EventTimeText.h"
#include "PacketBytes.h"
#include "RmcLog.h"
#include "Route.h"
#include "TextCodec.h"
#include "kavrel_events.h"

#include <algorithm>
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
// A modem's small receive buffer: a recorder that never reads fills it soon.
constexpr int kModemReceiveBuffer = 4096;
// How often a wait for the receiver's close looks at the stop request.
constexpr std::chrono::milliseconds kStopCheck{200};

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
    m_stop = stop;
    m_report.index = m_index;
    const DeviceInfo device = deviceForRecorder(m_options, m_index);
    m_report.key = platform::windows1252ToUtf8(deviceKey(device));

    if (m_options.ramp.count() > 0 && m_options.recorders > 1)
        pause(stop, m_options.ramp * m_index / m_options.recorders);
    if (stop.stop_requested())
        return m_report;
    if (m_options.neverRead)
        m_connection.setReceiveBufferSize(kModemReceiveBuffer);
    m_connection.setLocalAddress(m_options.bindAddress);

    std::string text;
    appendDeviceInfoText(text, device);
    if (dial({kavrel::EventCode::QUVEX_INFO, textBytes(text), false}))
        sendRounds();

    if (m_options.neverRead || m_options.unfinished)
        waitForReceiverToEnd();
    else if (m_options.noAck && m_connection.isOpen())
        checkLateAcks();
    if (m_options.hold.count() > 0 && !m_options.neverRead && m_connection.isOpen())
        pause(stop, m_options.hold);
    return m_report;
}

bool RecorderSession::dial(const Packet& deviceInfo)
{
    for (unsigned attempt = 1;; ++attempt) {
        ++m_report.dials;
        Outcome o;
        m_report.connected =
            m_connection.connect(m_options.host, m_options.port, m_options.dialTimeout);
        if (m_report.connected) {
            m_connectedAt = Clock::now();
            o = transmit(deviceInfo);
        }
        const bool through = awaitsAcks() ? o.acked : o.sent;
        if (through)
            m_report.servedAt = Clock::now();
        if (through || attempt >= m_options.dials || m_stop.stop_requested()) {
            if (!m_report.connected) {
                m_report.fail(m_connection.lastError());
                return false;
            }
            m_firstPacket = false;
            return record(deviceInfo, o);
        }
        ++m_report.failedDials;
        m_connection.close();
        pause(m_stop, m_options.redialDelay);
    }
}

bool RecorderSession::awaitTurn()
{
    if (!m_firstPacket && !m_turnAwaited)
        pause(m_stop, m_options.interval);
    m_turnAwaited = true;
    return !m_stop.stop_requested();
}

bool RecorderSession::send(const Packet& p)
{
    if (!awaitTurn())
        return false;
    m_firstPacket = false;
    m_turnAwaited = false;
    return record(p, transmit(p));
}

RecorderSession::Outcome RecorderSession::transmit(const Packet& p)
{
    Outcome o;
    if (m_options.unfinished && p.clip) {
        // Announces the whole clip and holds back its last byte.
        Bytes bytes;
        appendPacket(bytes, p.command, p.payload);
        o.sent = m_connection.sendRaw(std::span(bytes).first(bytes.size() - 1));
        o.error = o.sent ? std::string() : m_connection.lastError();
        return o;
    }
    if (!awaitsAcks()) {
        if (p.clip && m_report.clipBytes == 0)
            m_firstClipStart = Clock::now();
        o.sent = m_connection.sendPacketOnly(p.command, p.payload);
        o.error = o.sent ? std::string() : m_connection.lastError();
        return o;
    }
    const PacketResult r =
        m_options.trickle.count() > 0
            ? trickle(p)
            : m_connection.sendPacket(p.command, p.payload, m_options.ackTimeout);
    o.sent = r.outcome != PacketResult::Outcome::SendFailed;
    o.acked = r.ok();
    o.error = r.error;
    o.roundTrip = r.roundTrip;
    return o;
}

PacketResult RecorderSession::trickle(const Packet& p)
{
    Bytes bytes;
    appendPacket(bytes, p.command, p.payload);
    const auto start = Clock::now();
    const auto step = static_cast<std::size_t>(m_options.trickleBytes);
    for (std::size_t i = 0; i < bytes.size(); i += step) {
        if (i > 0)
            pause(m_stop, m_options.trickle);
        const auto piece = std::span(bytes).subspan(i, std::min(step, bytes.size() - i));
        if (m_stop.stop_requested() || !m_connection.sendRaw(piece)) {
            PacketResult stopped;
            stopped.error = m_stop.stop_requested() ? "stopped while trickling a packet"
                                                    : m_connection.lastError();
            return stopped;
        }
    }
    return m_connection.awaitAck(p.command, start, m_options.ackTimeout);
}

// Counts what became of a packet; false when the connection can no longer be
// trusted (after a missing or wrong acknowledgement the stream is out of step).
bool RecorderSession::record(const Packet& p, const Outcome& o)
{
    if (!o.sent) {
        // A recorder that never reads stops sending once the receiver stops
        // reading or closes: that is what it is there to find out.
        if (!m_options.neverRead)
            m_report.fail(m_report.key + ": " + o.error);
        return false;
    }
    const std::uint64_t bytes = kavrel::kHeaderSize + p.payload.size();
    ++m_report.packetsSent;
    m_report.bytesSent += bytes;
    if (p.clip)
        m_report.clipBytes += bytes;
    if (m_options.unfinished && p.clip) {
        return false; // never completed, never acknowledged: nothing more to send
    } else if (!awaitsAcks()) {
        m_unackedCommands.push_back(p.command);
    } else if (!o.acked) {
        m_report.fail(m_report.key + ": " + o.error);
        return false;
    } else {
        ++m_report.acksChecked;
        m_report.roundTrips.add(o.roundTrip);
        if (p.clip)
            m_report.clipTime += o.roundTrip;
    }
    return !m_stop.stop_requested();
}

void RecorderSession::sendRounds()
{
    RouteStart start;
    start.first.time =
        std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
    start.first.latitudeDeg = kBaseLatitudeDeg + kFleetSpacingDeg * m_index;
    start.first.longitudeDeg = kBaseLongitudeDeg;
    start.first.speedKnots = kSpeedKnots;
    start.first.courseDeg = kCourseSpreadDeg * m_index;
    start.step = m_options.interval.count() > 0 ? m_options.interval : kDefaultFixStep;
    Route route(start);

    std::string text;
    bool going = true;
    unsigned eventNumber = 0;
    std::size_t trackIndex = 0;
    for (unsigned round = 0; going && round < m_options.repeat; ++round) {
        for (unsigned i = 0; going && i < m_options.positions; ++i) {
            going = awaitTurn();
            if (!going)
                break;
            text.clear();
            if (m_track.empty())
                nmea::appendRmcSentence(text, route.next());
            else
                text = nmea::redatedRmc(m_track[trackIndex++ % m_track.size()],
                                        std::chrono::floor<std::chrono::milliseconds>(
                                            std::chrono::system_clock::now()));
            going = send({kavrel::EventCode::CMD_GPRMC_DATA, textBytes(text), false});
        }
        for (unsigned i = 0; going && i < m_options.events; ++i) {
            going = awaitTurn();
            if (!going)
                break;
            text.clear();
            if (m_options.eventBytes > 0)
                text.assign(m_options.eventBytes, '9')
                    .append(",")
                    .append(std::to_string(++eventNumber));
            else
                appendEventTimeText(
                    text,
                    std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now()),
                    ++eventNumber);
            going = send({kavrel::EventCode::CMD_QUVEX_TIME_EVENT, textBytes(text), false});
        }
        for (unsigned i = 0; going && !m_clip.empty() && i < m_options.clips; ++i)
            going = send({clipCommand(m_options.channel), m_clip, true});
    }
}

void RecorderSession::checkLateAcks()
{
    // Whatever the receiver acknowledged arrives before it closes in turn.
    Bytes received;
    m_connection.shutdownSend();
    const auto closed = m_connection.waitForClose(m_options.ackTimeout, &received);
    if (m_report.clipBytes > 0)
        m_report.clipTime = Clock::now() - m_firstClipStart;
    if (closed != RecorderConnection::CloseWait::Closed)
        m_report.fail(m_report.key + ": receiver did not close within " +
                      std::to_string(m_options.ackTimeout.count()) + " ms after end of stream");
    if (received.empty())
        return;
    std::size_t i = 0;
    for (; i < m_unackedCommands.size() && (i + 1) * kavrel::kAckSize <= received.size(); ++i) {
        const auto expected = kavrel::encodeAck(m_unackedCommands[i]);
        if (!std::equal(expected.begin(), expected.end(),
                        received.begin() + static_cast<std::ptrdiff_t>(i * kavrel::kAckSize)))
            break;
    }
    m_report.acksChecked += i;
    if (received.size() != m_unackedCommands.size() * kavrel::kAckSize ||
        i != m_unackedCommands.size())
        m_report.fail(m_report.key + ": " + std::to_string(received.size()) +
                      " acknowledgement bytes for " + std::to_string(m_unackedCommands.size()) +
                      " packets, the first " + std::to_string(i) + " right");
}

void RecorderSession::waitForReceiverToEnd()
{
    if (!m_connection.isOpen())
        return;
    const auto deadline =
        Clock::now() +
        (m_options.hold.count() > 0
             ? m_options.hold
             : std::chrono::duration_cast<std::chrono::milliseconds>(kNeverReadWait));
    while (!m_stop.stop_requested() && Clock::now() < deadline) {
        const auto slice = std::min(
            kStopCheck, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()));
        const auto wait = m_connection.waitForHangUp(slice);
        if (wait == RecorderConnection::CloseWait::Closed) {
            m_report.closedByReceiver = true;
            m_report.heldFor = Clock::now() - m_connectedAt;
            return;
        }
        if (wait == RecorderConnection::CloseWait::Failed)
            return;
    }
}

} // namespace recorder
