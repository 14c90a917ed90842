// The gateway's start, its loop over the event queue, and its orderly stop.
#include "Gateway.h"

#include "Archive.h"
#include "ArchiveNames.h"
#include "ClockPlausibility.h"
#include "DateTimeFormat.h"
#include "EventJournal.h"
#include "EventText.h"
#include "FleetPublisher.h"
#include "HostCallback.h"
#include "HostEventQueue.h"
#include "ListenRetry.h"
#include "Paths.h"
#include "RecorderSelection.h"
#include "RetentionWorker.h"
#include "StandardError.h"
#include "StationSettings.h"
#include "StorageGuard.h"
#include "kavrel.h"
#include "kavrel_events.h"

#include <stdexcept>
#include <thread>

namespace gateway {
namespace {

namespace Code = kavrel::EventCode;

// The client library's store of messages not yet delivered, in the data folder.
constexpr std::string_view kOutboxFolder = "fleet-outbox";
constexpr std::string_view kSincePattern = "yyyy/mm/dd hh:nn:ss";

// No window: nothing is selected, and no recorder is listed.
class NoSelection final : public monitor::RecorderSelection
{
public:
    const std::string& selectedKey() const override { return m_none; }
    bool isListed(std::string_view) const override { return false; }

private:
    const std::string m_none;
};

// The events a gateway publishes: positions, event times and clips.
bool publishes(std::int32_t code)
{
    return code == Code::CMD_GPRMC_DATA || code == Code::CMD_QUVEX_TIME_EVENT ||
           !kavrel::clipChannel(code).empty();
}

// What the gateway journals with a broker: what it publishes, and what the archive keeps.
bool journalsWithBroker(std::int32_t code, std::size_t length)
{
    return publishes(code) || monitor::Archive::Keeps(code, length);
}

// The packet's bytes, without the zero byte the library puts after them.
std::span<const std::uint8_t> packetBytes(std::span<const std::uint8_t> data)
{
    return !data.empty() && data.back() == 0 ? data.first(data.size() - 1) : data;
}

std::uint64_t clockMicros()
{
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
}

} // namespace

void Gateway::LoopTimer::setEnabled(bool enabled)
{
    if (enabled && !m_enabled)
        m_started = std::chrono::steady_clock::now();
    m_enabled = enabled;
}

bool Gateway::LoopTimer::fire()
{
    if (!m_enabled || std::chrono::steady_clock::now() - m_started < m_interval)
        return false;
    m_started = std::chrono::steady_clock::now();
    return true;
}

Gateway::Gateway(GatewayConfig config)
    : m_config(std::move(config)), m_clock(platform::systemClock()), m_presence(m_config.name)
{
}

Gateway::~Gateway()
{
    if (m_queue)
        m_queue->shutdown();
    if (m_guard)
        m_guard->close();
    m_retention.reset();
}

std::string Gateway::now() const
{
    return platform::formatDateTime(kSincePattern, m_clock.now());
}

void Gateway::start()
{
    const std::string& folder = m_config.dataFolder;
    m_selection = std::make_unique<NoSelection>();
    m_archive = std::make_unique<monitor::Archive>(folder, m_clock, *m_selection);
    m_archive->BuildDayFolder();

    // Its problems were told when the command line was resolved (main).
    const monitor::StationSettings settings = monitor::readStationSettings(m_config.settingsFile);
    m_retention = std::make_unique<monitor::RetentionWorker>(
        std::make_unique<monitor::ArchiveRetention>(folder, settings.retention),
        [](std::vector<std::string>) {}); // the worker tells its lines itself
    m_retention->requestPass(monitor::readClocks(m_clock));

    if (m_config.broker) {
        fleet::FleetPublisher::Options options;
        options.broker = *m_config.broker;
        options.prefix = m_config.prefix;
        options.gateway = m_config.name;
        options.persistFolder = platform::joinPath(folder, kOutboxFolder);
        options.since = now();
        options.firstDelay = m_config.brokerFirstDelay;
        options.longestDelay = m_config.brokerLongestDelay;
        m_publisher = std::make_unique<fleet::FleetPublisher>(
            std::move(options), [](const std::string& line) { monitor::tellStandardError(line); });
        monitor::tellStandardError("gateway " + m_config.name + " publishes to " +
                                   m_config.broker->text() + " under " + m_config.prefix);
        m_publisher->start();
    } else {
        monitor::tellStandardError("no broker (--fleet or [Fleet] BROKER): gateway " +
                                   m_config.name + " receives and archives only");
    }

    // Before any recorder is served: what the journal holds from the last run
    // is archived and published.
    m_queue = std::make_unique<monitor::HostEventQueue>();
    m_journal = std::make_unique<monitor::EventJournal>(
        platform::joinPath(folder, monitor::EventJournal::kFileName));
    m_guard = std::make_unique<monitor::StorageGuard>(*m_journal, platform::systemClock(),
                                                      m_config.storageRetry);
    if (m_publisher) {
        m_guard->setJournals(&journalsWithBroker);
        m_guard->setPassOn([this](const monitor::EventJournal::Event& event) {
            return !publishes(event.code) ||
                   !publishEvent(event.key, event.code, packetBytes(event.data), event.id);
        });
    }
    m_guard->recover(*m_archive);
    m_queue->setStorageGuard(m_guard.get());

    m_listen = std::make_unique<monitor::ListenRetry>(
        [this] {
            const std::int32_t result = GPRSInitial(nullptr, m_config.port);
            if (result == 0)
                GPRSRegisterCallbackInformation(&monitor::HostCallback);
            return result;
        },
        m_listenTimer, m_config.port, m_config.listenRetry, m_config.listenRetry,
        nullptr); // the retries tell on standard error themselves
    if (m_listen->start())
        monitor::tellStandardError("listening on port " + std::to_string(m_config.port));
}

bool Gateway::takeOne()
{
    const auto held = m_queue->lock();
    return m_queue->takeOne(held, [this](const monitor::RAWDATA& event) { handle(event); });
}

void Gateway::handle(const monitor::RAWDATA& event)
{
    const std::span<const std::uint8_t> bytes = event.bytes();
    if (const std::string_view channel = kavrel::clipChannel(event.Code); !channel.empty()) {
        const monitor::StoreOutcome stored = m_archive->StoreClip(event.Key, bytes, channel);
        if (!passOn(event, stored))
            m_guard->archived(event.JournalId, stored);
        return;
    }
    switch (event.Code) {
    case Code::QUVEX_INFO:
        login(event);
        break;
    case Code::CMD_GPRMC_DATA: {
        const monitor::StoreOutcome stored =
            m_archive->StorePositionSentence(event.Key, monitor::EventText(bytes));
        if (!passOn(event, stored))
            m_guard->archived(event.JournalId, stored);
        break;
    }
    case Code::CMD_QUVEX_TIME_EVENT:
        if (!passOn(event, {}))
            m_guard->archived(event.JournalId, {});
        break;
    case Code::CONNECTION_CLOSED:
    case Code::CONNECTION_TIMED_OUT:
        leave(event);
        break;
    default:
        break;
    }
}

void Gateway::login(const monitor::RAWDATA& event)
{
    const fleet::RecorderState state = m_presence.login(
        event.Key, event.Connection, monitor::EventText(event.bytes()), clockMicros(), now());
    m_archive->EnsureDeviceFolder(event.Key);
    ++m_logins;
    if (m_publisher)
        m_publisher->recorderState(event.Key, state);
}

void Gateway::leave(const monitor::RAWDATA& event)
{
    const std::optional<fleet::RecorderState> state = m_presence.leave(event.Key, event.Connection);
    if (!state)
        return;
    ++m_leaves;
    if (m_publisher)
        m_publisher->recorderState(event.Key, *state);
}

// An event the archive could not take yet is published by the storage guard
// once it is stored (setPassOn), so that subscribers never see what the
// gateway's own disk does not hold.
bool Gateway::passOn(const monitor::RAWDATA& event, const monitor::StoreOutcome& stored)
{
    if (!m_publisher || stored.failed())
        return false;
    return publishEvent(event.Key, event.Code, packetBytes(event.bytes()), event.JournalId) &&
           event.JournalId != 0;
}

bool Gateway::publishEvent(const std::string& key, std::int32_t code,
                           std::span<const std::uint8_t> payload, std::uint64_t journalId)
{
    if (!kavrel::clipChannel(code).empty() && payload.size() > m_config.maxClipBytes) {
        ++m_clipsKeptBack;
        monitor::tellStandardError("a clip of " + std::to_string(payload.size()) + " bytes from " +
                                   archive::deviceFolderName(key) +
                                   " is archived, not published (MAX_CLIP_BYTES " +
                                   std::to_string(m_config.maxClipBytes) + ")");
        return false;
    }
    return m_publisher->event(key, code, payload, journalId);
}

void Gateway::markDelivered()
{
    if (!m_publisher)
        return;
    for (const std::uint64_t id : m_publisher->takeDelivered())
        m_journal->markArchived(id);
}

// One line per interval in which something happened: recorders are too many
// at scale for a line each.
void Gateway::tellSummary()
{
    const std::uint64_t published = m_publisher ? m_publisher->published() : 0;
    const std::uint64_t refused = m_publisher ? m_publisher->refused() : 0;
    if (m_logins == 0 && m_leaves == 0 && published == m_publishedTold && refused == m_refusedTold)
        return;
    std::string line = std::to_string(m_presence.online()) + " recorders online; " +
                       std::to_string(m_logins) + " logins, " + std::to_string(m_leaves) + " gone";
    if (m_publisher)
        line +=
            ", " + std::to_string(published - m_publishedTold) + " messages published, " +
            std::to_string(refused - m_refusedTold) + " refused (buffer full or bad key)" +
            (m_publisher->givenUp() > 0 ? ", " + std::to_string(m_publisher->givenUp()) +
                                              " events given up in all while the broker was away"
                                        : std::string());
    monitor::tellStandardError(line + " since the last count");
    m_logins = m_leaves = 0;
    m_publishedTold = published;
    m_refusedTold = refused;
}

bool Gateway::run(const std::atomic<bool>& stop)
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point nextRetention = Clock::now() + m_config.retentionInterval;
    Clock::time_point nextSummary = Clock::now() + m_config.summaryInterval;
    while (!stop.load()) {
        bool took = false;
        while (takeOne())
            took = true;
        markDelivered();
        m_guard->retry(*m_archive);
        if (m_listenTimer.fire())
            m_listen->tick();
        if (Clock::now() >= nextRetention) {
            nextRetention = Clock::now() + m_config.retentionInterval;
            m_retention->requestPass(monitor::readClocks(m_clock));
        }
        if (Clock::now() >= nextSummary) {
            nextSummary = Clock::now() + m_config.summaryInterval;
            tellSummary();
        }
        if (!took)
            std::this_thread::sleep_for(m_config.drainInterval);
    }

    monitor::tellStandardError("stopping: no more calls are taken");
    m_listen->stop();
    // A worker of the receiver may wait in the callback for room in the
    // queue: the queue goes on being emptied while the receiver stops.
    const bool listening = m_listen->listening();
    m_receiverStop = std::jthread([this, listening] {
        if (listening)
            GPRSFree();
        m_receiverStopped = true;
    });
    const auto deadline = Clock::now() + m_config.stopReceiving;
    while (!m_receiverStopped.load() && Clock::now() < deadline)
        if (!takeOne())
            std::this_thread::sleep_for(m_config.drainInterval);
    while (takeOne()) {
    }
    // Whatever still comes is in the journal, for the next start.
    m_queue->shutdown();
    m_guard->close();
    tellSummary();
    if (m_publisher)
        m_publisher->stop(m_config.stopFlush);
    // What the broker has not taken by now stays journaled for the next start.
    markDelivered();
    if (!m_receiverStopped.load()) {
        monitor::tellStandardError("the receiver did not stop in time; ending without it");
        return false;
    }
    m_receiverStop.join();
    monitor::tellStandardError("stopped");
    return true;
}

} // namespace gateway
