// Gateway: the receiving program without a window. It owns the same services
// as the station (the event queue fed by HostCallback, the journal and its
// storage guard, the archive and its retention, the receiver's start and its
// retries) and, with a broker, the fleet's publisher. It has no dispatcher
// cap: its loop takes every queued event as it comes, archives it, then
// publishes it.
//
// Durability. Every event it publishes (positions, event times, clips) is
// journaled before the receiver acknowledges it, not only what the archive
// keeps. An event leaves the journal once it is archived and the broker has
// taken it (its PUBACK), not when it is handed to the client library: the
// client library keeps what it was handed in its folder, but drops what it
// had sent when the broker comes back without the session (a restarted
// broker, or one that did not keep it). An event archived but not yet taken
// by the broker when the process is killed is still in the journal, and is
// archived and published at the next start: it may then be archived twice
// (a second file under a suffixed name) and reach subscribers twice, and is
// never lost. One refused by a full buffer, a clip larger than MAX_CLIP_BYTES
// and what the publisher gives up (FleetPublisher) leave the journal at once.
//
// Threads. The thread that calls run() owns everything here and takes the
// events out of the queue. The receiver library's threads reach the queue and
// the storage guard through HostCallback; the retention worker and the broker
// connections run threads of their own, which tell on standard error. The
// orderly stop runs the receiver's own stop on a thread of its own
// (m_receiverStop), while this thread goes on taking events.
#pragma once

#include "GatewayConfig.h"
#include "RecorderPresence.h"
#include "StationTimer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>

namespace platform {
class Clock;
}

namespace monitor {
class Archive;
class EventJournal;
class HostEventQueue;
class ListenRetry;
class RecorderSelection;
class RetentionWorker;
class StorageGuard;
struct RAWDATA;
struct StoreOutcome;
} // namespace monitor

namespace fleet {
class FleetPublisher;
}

namespace gateway {

class Gateway
{
public:
    explicit Gateway(GatewayConfig config);
    ~Gateway();
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;

    // Builds the archive, starts its retention and the broker connections,
    // archives and publishes what the journal holds from the last run, and
    // starts the receiver (tried again while its port is taken). Throws
    // std::runtime_error when the gateway cannot run at all.
    void start();
    // Takes the events until stop is set, then stops in order: no more
    // receiving, what is queued archived and published, the goodbye. False
    // when the receiver did not stop in time (the process must then end
    // without waiting for its threads).
    bool run(const std::atomic<bool>& stop);

private:
    // The receiver's retry timer as the loop runs it.
    class LoopTimer final : public monitor::StationTimer
    {
    public:
        void setEnabled(bool enabled) override;
        bool enabled() const override { return m_enabled; }
        void setInterval(std::chrono::milliseconds interval) override { m_interval = interval; }
        std::chrono::milliseconds interval() const override { return m_interval; }
        // Whether an interval has passed since it was switched on or last fired.
        bool fire();

    private:
        bool m_enabled = false;
        std::chrono::milliseconds m_interval{0};
        std::chrono::steady_clock::time_point m_started;
    };

    // Takes one event; false when the queue had none to give.
    bool takeOne();
    void handle(const monitor::RAWDATA& event);
    void login(const monitor::RAWDATA& event);
    void leave(const monitor::RAWDATA& event);
    // An event the archive took (or does not keep): published, and its
    // journal entry left to the publisher (true), or to be dropped now (false).
    bool passOn(const monitor::RAWDATA& event, const monitor::StoreOutcome& stored);
    bool publishEvent(const std::string& key, std::int32_t code,
                      std::span<const std::uint8_t> payload, std::uint64_t journalId);
    // Drops from the journal what the broker has taken.
    void markDelivered();
    void tellSummary();
    std::string now() const;

    const GatewayConfig m_config;
    platform::Clock& m_clock;
    RecorderPresence m_presence;
    LoopTimer m_listenTimer;
    std::uint64_t m_logins = 0;
    std::uint64_t m_leaves = 0;
    std::uint64_t m_clipsKeptBack = 0;
    std::uint64_t m_publishedTold = 0;
    std::uint64_t m_refusedTold = 0;

    // Declared in the order they may be used by those after them; the
    // destructor stops the queue and the guard first.
    std::unique_ptr<fleet::FleetPublisher> m_publisher;
    std::unique_ptr<monitor::RecorderSelection> m_selection;
    std::unique_ptr<monitor::Archive> m_archive;
    std::unique_ptr<monitor::EventJournal> m_journal;
    std::unique_ptr<monitor::StorageGuard> m_guard;
    std::unique_ptr<monitor::HostEventQueue> m_queue;
    std::unique_ptr<monitor::ListenRetry> m_listen;
    std::unique_ptr<monitor::RetentionWorker> m_retention;
    std::atomic<bool> m_receiverStopped{false};
    std::jthread m_receiverStop;
};

} // namespace gateway
