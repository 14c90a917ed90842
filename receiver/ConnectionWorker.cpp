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
    { std::lock_guard lock(board->mutex); }
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
        m_receiveBuffer.fill(0);
        if (!m_socket.waitForData(m_core->silenceLimit)) {
            timeOut();
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
        if (!handleRead(count))
            break;
    }

    if (m_core->callback.load() != nullptr) {
        reportConnectionEvent(EventCode::CONNECTION_CLOSED);
        LogLine("CallBackInfo:disconnect!!");
    }
    LogLine(m_record.logName() + ":thread.Terminate !!!");
}

bool ConnectionWorker::handleRead(std::size_t count)
{
    using Outcome = PacketFramer::Outcome;
    // The read asked for no more than the framer needs, so one step takes it all.
    const auto step = m_framer.feed(std::span(m_receiveBuffer).first(count));
    switch (step.outcome) {
    case Outcome::HeaderPartial:
        return true; // the header's missing bytes come with the next read
    case Outcome::HeaderAccepted:
    case Outcome::HeaderRejected:
    case Outcome::HeaderTooLarge: {
        const PacketHeader h = m_framer.header();
        LogLine(m_record.logName() + ": Cmd =" + hex(h.command, 2));
        LogLine("header data size =" + hex(h.size, 8));
        if (step.outcome == Outcome::HeaderTooLarge) {
            LogLine(m_record.logName() + ":packet size " + std::to_string(h.size) +
                    " exceeds MAX_PACKET_SIZE, closing the connection");
            m_socket.close();
            return false;
        }
        return true;
    }
    case Outcome::PayloadPartial:
        LogLine("Receive " + hex(static_cast<std::uint32_t>(count), 8) + " bytes");
        return true;
    case Outcome::PacketComplete:
        LogLine("Receive " + hex(static_cast<std::uint32_t>(count), 8) + " bytes");
        return completePacket();
    case Outcome::Stalled:
        return true; // unreachable: a stalled framer asks for 0 bytes, and such a read ends the loop
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
    LogLine("TotalTime:" + std::to_string(static_cast<std::uint32_t>(platform::tickCount() - start)));
    m_framer.clearPacket();

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
    const std::string name = platform::formatDateTime(kRawFilePattern, m_core->clock()) + m_address +
                             std::string(kRawFileExtension);
    const std::string path = platform::joinPath(m_core->RawFolder, name);
    bool written = false;
    if (!m_core->RawFolder.empty() && platform::ensureFolder(m_core->RawFolder)) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        const auto packet = m_framer.packet();
        out.write(reinterpret_cast<const char*>(packet.data()), static_cast<std::streamsize>(packet.size()));
        written = static_cast<bool>(out.flush());
    }
    if (!written)
        LogLine("Raw file not written: " + path);
}

void ConnectionWorker::timeOut()
{
    LogLine("Stream WaitForData(" + std::to_string(m_core->settings.SOCKET_TIMEOUT) + "):" + "False");
    LogLine("1 min wait time out !!!");
    report(EventCode::CONNECTION_TIMED_OUT, bytesOf(m_lastTimeText));
    LogLine("really time out, KILL this connection !!!");
}

} // namespace kavrel
