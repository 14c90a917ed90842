// StorageGuard: an acknowledged packet is a stored packet. The receiver
// library acknowledges a packet once HostCallback returns, so every event that
// the archive keeps is made durable in the EventJournal first; when neither
// the journal nor the archive can be written, the callback does not return
// (the recorder keeps its data and waits) until they can.
//
// Worker threads, through HostCallback: keep() journals the event. While the
// journal or the archive cannot be written it holds the recorder and tries
// again every retry interval. It returns the event's journal id, 0 for an event
// that needs none ("Save data to disk" off, or nothing the archive keeps), or
// none when the station closes before the event could be made durable: the
// callback must then never return, as the library would acknowledge it.
//
// User-interface thread: recover() at start, before the receiver starts,
// archives what the journal holds from the last run; archived() after the
// dispatcher stored a journaled event; retry() on every dispatcher tick stores
// again, once per retry interval, the events the archive could not take, and
// while any wait every recorder is held. status() tells the window what to show.
//
// What the archive can never take (StoreOutcome::lasting: every name of its
// second taken, a name the file system refuses) holds nobody: the event is
// set aside whole in the quarantine folder (Quarantine.h), told once, and
// marked archived; recover() and retry() do it at once, and an event the
// dispatcher could not store is set aside at the next retry(). Only when the
// quarantine itself cannot be written is such an event held like any other.
//
// Each change of state is told on standard error (through tell) and in status().
// m_lock guards the failure flags, the failed events, the status and the closing
// flag; m_changed is signalled when the state changes or the station closes.
#pragma once

#include "Archive.h"
#include "EventJournal.h"
#include "StandardError.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>

namespace platform {
class Clock;
}

namespace monitor {

class StorageGuard
{
public:
    static constexpr std::chrono::milliseconds kRetryInterval{1000};

    using Tell = std::function<void(const std::string& line)>;
    // clock gives the time an event is received; it is read on the library's
    // threads, so it must allow that.
    StorageGuard(
        EventJournal& journal, const platform::Clock& clock,
        std::chrono::milliseconds retryInterval = kRetryInterval,
        Tell tell = [](const std::string& line) { tellStandardError(line); });

    // "Save data to disk": while off nothing is journaled.
    void setEnabled(bool enabled) { m_enabled = enabled; }

    // Which events are journaled: by default those the archive keeps
    // (Archive::Keeps). A program that also passes events on elsewhere
    // journals those too, so that none it acknowledged is lost on the way.
    // Set before the receiver starts.
    using Journals = bool (*)(std::int32_t code, std::size_t length);
    void setJournals(Journals journals) { m_journals = journals; }
    // Called with a journaled event that the archive has taken here
    // (recovered after a stop, stored again after a failure, or set aside),
    // before it leaves the journal; the dispatcher's own events its owner
    // passes on itself, before it calls archived(). It returns whether the
    // event may leave the journal now; when not, the pass-on marks it
    // archived itself later. None by default. User-interface thread.
    using PassOn = std::function<bool(const EventJournal::Event& event)>;
    void setPassOn(PassOn passOn) { m_passOn = std::move(passOn); }
    bool enabled() const { return m_enabled.load(); }

    // Worker threads (see above).
    std::optional<std::uint64_t> keep(const char* text, std::int32_t code,
                                      std::span<const std::uint8_t> data) noexcept;

    // The station closes: held recorders stop waiting (see keep()).
    void close();

    // User-interface thread.
    // Archives the events a stopped station left in the journal and removes
    // the archive's unfinished files. Gives how many events were archived.
    int recover(Archive& archive);
    // The dispatcher handled journaled event id (0: not journaled) with this outcome.
    void archived(std::uint64_t id, const StoreOutcome& outcome);
    void retry(Archive& archive);

    struct Status
    {
        std::uint64_t generation = 0; // changes whenever the text does
        bool failing = false;
        std::string text; // what the window shows; empty for nothing
    };
    Status status() const;
    // status().generation, without copying the text: the window asks every tick.
    std::uint64_t statusGeneration() const;

private:
    void failLocked(bool archive, int error, const std::string& what);
    // Sets the event aside (see above) and marks it archived; false when the
    // quarantine cannot be written, which is then told as a failure.
    bool setAside(Archive& archive, const EventJournal::Event& event, const StoreOutcome& outcome);
    // The event waits with those the archive could not take.
    void hold(std::uint64_t id);
    // The event is passed on, and leaves the journal unless the pass-on keeps it.
    void release(const EventJournal::Event& event);
    void recoverLocked();
    void setTextLocked(std::string text, bool failing);

    EventJournal& m_journal;
    const platform::Clock& m_clock;
    const std::chrono::milliseconds m_retryInterval;
    const Tell m_tell;
    std::atomic<bool> m_enabled{true};
    Journals m_journals = &Archive::Keeps;
    PassOn m_passOn;

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_closing = false;
    bool m_journalFailing = false;
    bool m_archiveFailing = false;
    std::string m_reason; // the latest failure, as told
    // Journaled events the archive could not take, oldest first. UI thread
    // only, but read under m_lock with the flags.
    std::deque<std::uint64_t> m_failed;
    // Journaled events the dispatcher could not store and never will, with
    // why; set aside at the next retry(). UI thread only.
    std::deque<std::pair<std::uint64_t, StoreOutcome>> m_lasting;
    std::chrono::steady_clock::time_point m_lastRetry;
    Status m_status;
};

} // namespace monitor
