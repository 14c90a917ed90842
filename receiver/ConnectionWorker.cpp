#include "ConnectionWorker.h"

#include "DateTimeFormat.h"
#include "LocalTime.h"
#include "PacketDelivery.h"
#include "Paths.h"

#include <cstdio>
#include <fstream>
#include <optional>

namespace kavrel {

namespace {

constexpr std::string_view kRawFilePattern = "hhmmss ";
constexpr std::string_view kRawFileExtension = ".bin";

std::string hex(std::uint32_t value, int digits)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

std::span<const std::uint8_t> bytesOf(const std::string& text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Marks the worker as inside the host's callback for the duration of a report.
class InCallback
{
public:
    explicit InCallback(WorkerStatus& status) : m_status(status)
    {
        m_status.inCallback = true;
        m_status.announce();
    }
    ~InCallback()
    {
        m_status.inCallback = false;
        m_status.announce();
    }
    InCallback(const InCallback&) = delete;
    InCallback& operator=(const InCallback&) = delete;

private:
    WorkerStatus& m_status;
};

} // namespace

void WorkerStatus::announce() const
{
    if (!board)
        return;
    {
        std::lock_guard lock(board->mutex);
    }
    board->changed.notify_all();
}

ConnectionWorker::ConnectionWorker(std::shared_ptr<ReceiverCore> core, ClientSocket& socket,
                                   WorkerStatus& status)
    : m_core(std::move(core)), m_socket(socket), m_status(status),
      m_framer(static_cast<std::uint64_t>(m_core->settings.MAX_PACKET_SIZE))
{
}

std::string ConnectionWorker::now() const
{
    return platform::formatDateTime(platform::kEventTimePattern, m_core->clock());
}

void ConnectionWorker::report(std::int32_t code, std::span<const std::uint8_t> data)
{
    const KavrelHostCallback callback = m_core->callback.load();
    if (callback == nullptr)
        return;
    InCallback marker(m_status);
    reportEvent(callback, m_record.connectionName(), code, data);
}

void ConnectionWorker::reportConnectionEvent(std::int32_t code)
{
    m_lastTimeText = now();
    report(code, bytesOf(m_lastTimeText));
}

void ConnectionWorker::ServerSocket1ThreadStart()
{
    LogLine("ThreadStart");
    m_address = m_socket.remoteAddress();
    LogLine("Remote Address=" + m_address);
    m_record = QUVEX_INFO::forAddress(m_address);

    if (m_core->callback.load() != nullptr) {
        reportConnectionEvent(EventCode::CONNECTION_OPENED);
        LogLine("CallbackInfo:connect!!");
    }

    while (m_socket.connected() && !m_core->Stopping && !m_status.terminated) {
        const Wait wait = waitForData();
        if (wait == Wait::Silence) {
            timeOut();
            break;
        }
        if (wait == Wait::SlowHeader) {
            endSlowPeer(":header not complete within the silence limit");
            break;
        }
        if (wait == Wait::SlowPayload) {
            endSlowPayload();
            break;
        }
        if (m_core->Stopping)
            break;

        const std::size_t request = std::min(m_framer.nextReadSize(), kMaxReadSize);
        std::size_t count = 0;
        try {
            count = m_socket.read(std::span(m_receiveBuffer).first(request));
        } catch (const std::exception&) {
            LogLine(m_record.logName() + ":Receive Error!!!");
        }
        if (count == 0) {
            LogLine(m_record.logName() + ":recv 0 , maybe disconnected");
            m_socket.close();
            break;
        }
        if (m_core->callback.load() != nullptr) {
            reportConnectionEvent(EventCode::DATA_RECEIVED);
            LogLine("CallbackInfo:send data!!");
        }
        if (!takeMemoryForRead(count) || !handleRead(count))
            break;
    }

    if (m_core->callback.load() != nullptr) {
        reportConnectionEvent(EventCode::CONNECTION_CLOSED);
        LogLine("CallBackInfo:disconnect!!");
    }
    LogLine(m_record.logName() + ":thread.Terminate !!!");
    m_packetMemory.reset();
    m_framer.releaseStorage();
}

ConnectionWorker::Wait ConnectionWorker::waitForData()
{
    // The silence limit counts from the last read; the header's and a large
    // payload's rate window's ends may come first.
    auto now = SteadyClock::now();
    const auto silenceEnd = now + m_core->silenceLimit;
    for (;;) {
        auto until = silenceEnd;
        Wait cause = Wait::Silence;
        if (m_headerStarted && m_headerDeadline < until) {
            until = m_headerDeadline;
            cause = Wait::SlowHeader;
        }
        if (m_largePayloadStarted && m_rateWindowEnd < until) {
            until = m_rateWindowEnd;
            cause = Wait::SlowPayload;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now);
        if (m_socket.waitForData(std::max(left, std::chrono::milliseconds{0})))
            return Wait::Data;
        now = SteadyClock::now();
        if (cause == Wait::Silence || !m_socket.connected())
            return Wait::Silence; // the time passed, or the wait failed
        if (cause == Wait::SlowHeader || !keepsPayloadRate(now))
            return cause;
        // The payload kept the rate over the window that just ended: wait on.
    }
}

bool ConnectionWorker::keepsPayloadRate(SteadyClock::time_point now)
{
    if (!m_largePayloadStarted || now < m_rateWindowEnd)
        return true;
    if (m_rateWindowBytes < m_core->payloadRateFloor.bytesPerWindow())
        return false;
    m_rateWindowBytes = 0;
    m_rateWindowEnd = now + m_core->payloadRateFloor.window;
    return true;
}

bool ConnectionWorker::takeMemoryForRead(std::size_t count)
{
    if (m_framer.headerExpected())
        return true;
    const std::uint32_t size = m_framer.header().size;
    if (!PacketFramer::isLarge(size))
        return true; // small packets live in the connection's own buffer
    const bool completes = std::uint64_t{m_framer.receivedCount()} + count == size;
    if (takePacketMemory(count + (completes ? 1u : 0u)))
        return true;
    m_socket.close();
    return false;
}

bool ConnectionWorker::takePacketMemory(std::uint64_t bytes)
{
    auto& memory = m_core->packetMemory;
    if (memory.tryGrow(m_packetMemory, bytes))
        return true;
    LogLine(m_record.logName() + ":waiting for packet memory");
    if (memory.grow(m_packetMemory, bytes, SteadyClock::now() + m_core->silenceLimit,
                    [this] { return m_core->Stopping.load() || m_status.terminated.load(); })) {
        LogLine(m_record.logName() + ":packet memory granted");
        // The wait was the station's, not the peer's: the rate counts afresh.
        m_rateWindowBytes = 0;
        m_rateWindowEnd = SteadyClock::now() + m_core->payloadRateFloor.window;
        return true;
    }
    if (!m_status.terminated)
        LogLine(m_record.logName() +
                ":no packet memory within the silence limit, closing the connection");
    return false;
}

void ConnectionWorker::endSlowPayload()
{
    const PayloadRateFloor& floor = m_core->payloadRateFloor;
    endSlowPeer(":payload slower than the rate floor",
                " (" + std::to_string(m_rateWindowBytes) + " bytes in " +
                    std::to_string(floor.window.count()) + " ms, the floor is " +
                    std::to_string(floor.bytesPerWindow()) + ")");
}

void ConnectionWorker::endSlowPeer(std::string_view why, std::string_view figures)
{
    LogLine(m_record.logName() + std::string(why) + ", closing the connection" +
            std::string(figures));
    report(EventCode::CONNECTION_TIMED_OUT, bytesOf(m_lastTimeText));
    m_socket.close();
}

bool ConnectionWorker::handleRead(std::size_t count)
{
    using Outcome = PacketFramer::Outcome;
    // The read asked for no more than the framer needs, so one step takes it all.
    const auto step = m_framer.feed(std::span(m_receiveBuffer).first(count));
    switch (step.outcome) {
    case Outcome::HeaderPartial:
        if (!m_headerStarted) {
            m_headerStarted = true;
            m_headerDeadline = SteadyClock::now() + m_core->silenceLimit;
        }
        return true; // the header's missing bytes come with the next read
    case Outcome::HeaderAccepted:
    case Outcome::HeaderRejected:
    case Outcome::HeaderTooLarge: {
        m_headerStarted = false;
        const PacketHeader h = m_framer.header();
        LogLine(m_record.logName() + ": Cmd =" + hex(h.command, 2));
        LogLine("header data size =" + hex(h.size, 8));
        if (step.outcome == Outcome::HeaderTooLarge) {
            LogLine(m_record.logName() + ":packet size " + std::to_string(h.size) +
                    " exceeds MAX_PACKET_SIZE, closing the connection");
            m_socket.close();
            return false;
        }
        if (step.outcome == Outcome::HeaderAccepted && h.size > 0) {
            // A large packet's share holds nothing until its bytes come; one
            // that the whole budget could never hold is never begun.
            if (PacketFramer::isLarge(h.size) &&
                !(m_packetMemory = m_core->packetMemory.open(std::uint64_t{h.size} + 1))) {
                LogLine(m_record.logName() + ":packet size " + std::to_string(h.size) +
                        " exceeds MAX_PACKET_MEMORY, closing the connection");
                m_socket.close();
                return false;
            }
            // Only a large payload holds the packet memory, so only it must
            // keep the rate floor; a small one is bound by the silence limit.
            m_largePayloadStarted = PacketFramer::isLarge(h.size);
            m_rateWindowBytes = 0;
            m_rateWindowEnd = SteadyClock::now() + m_core->payloadRateFloor.window;
        }
        return true;
    }
    case Outcome::PayloadPartial:
        LogLine("Receive " + hex(static_cast<std::uint32_t>(count), 8) + " bytes");
        m_rateWindowBytes += count;
        if (!keepsPayloadRate(SteadyClock::now())) {
            endSlowPayload();
            return false;
        }
        return true;
    case Outcome::PacketComplete:
        LogLine("Receive " + hex(static_cast<std::uint32_t>(count), 8) + " bytes");
        m_largePayloadStarted = false;
        return completePacket();
    case Outcome::NoMemory:
        LogLine(m_record.logName() + ":no memory for the packet, closing the connection");
        m_socket.close();
        return false;
    case Outcome::Stalled:
        return true; // unreachable: a stalled framer asks for 0 bytes, and such a read ends the
                     // loop
    }
    return true;
}

bool ConnectionWorker::completePacket()
{
    if (m_core->settings.saveData())
        saveRawFile();

    const std::uint32_t start = platform::tickCount();
    {
        const KavrelHostCallback callback = m_core->callback.load();
        std::optional<InCallback> marker;
        if (callback != nullptr)
            marker.emplace(m_status);
        deliverPacket(m_framer.headerCopy(), m_record, m_framer.packet(), callback,
                      [this](std::string_view line) { LogLine(line); });
    }
    LogLine("TotalTime:" +
            std::to_string(static_cast<std::uint32_t>(platform::tickCount() - start)));
    // A large packet's storage goes straight back to the system.
    m_framer.clearPacket();
    m_packetMemory.reset();

    // Logged in from now on, before the recorder can see its acknowledgement:
    // it no longer counts against its address.
    if (m_framer.header().command == EventCode::QUVEX_INFO)
        m_status.loggedIn = true;
    const AckBytes ack = encodeAck(m_framer.header().command);
    try {
        // A recorder that sends but never reads fills the socket's buffers; it
        // gets no longer to make room than a silent one gets to send.
        const std::size_t sent = m_socket.write(ack, m_core->silenceLimit);
        LogLine(m_record.logName() + " :ACK, " + std::to_string(sent));
        return true;
    } catch (const std::exception&) {
        LogLine(m_record.logName() + " :ACK Error!!");
        return false;
    }
}

void ConnectionWorker::saveRawFile()
{
    const std::string name = platform::formatDateTime(kRawFilePattern, m_core->clock()) +
                             m_address + std::string(kRawFileExtension);
    const std::string path = platform::joinPath(m_core->RawFolder, name);
    bool written = false;
    if (!m_core->RawFolder.empty() && platform::ensureFolder(m_core->RawFolder)) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        const auto packet = m_framer.packet();
        out.write(reinterpret_cast<const char*>(packet.data()),
                  static_cast<std::streamsize>(packet.size()));
        written = static_cast<bool>(out.flush());
    }
    if (!written)
        LogLine("Raw file not written: " + path);
}

void ConnectionWorker::timeOut()
{
    LogLine("Stream WaitForData(" + std::to_string(m_core->settings.SOCKET_TIMEOUT) +
            "):" + "False");
    LogLine("1 min wait time out !!!");
    report(EventCode::CONNECTION_TIMED_OUT, bytesOf(m_lastTimeText));
    LogLine("really time out, KILL this connection !!!");
}

} // namespace kavrel
