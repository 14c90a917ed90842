#include "StorageGuard.h"

#include "ArchiveFiles.h"
#include "ArchiveNames.h"
#include "Clock.h"
#include "EventJournal.h"
#include "Paths.h"
#include "Quarantine.h"

#include <cstring>

namespace monitor {

namespace {

std::string reasonOf(int error, const std::string& what)
{
    std::string reason = std::strerror(error);
    if (!what.empty())
        reason += " (" + what + ")";
    return reason;
}

} // namespace

StorageGuard::StorageGuard(EventJournal& journal, const platform::Clock& clock,
                           std::chrono::milliseconds retryInterval, Tell tell)
    : m_journal(journal), m_clock(clock), m_retryInterval(retryInterval), m_tell(std::move(tell))
{
}

std::optional<std::uint64_t> StorageGuard::keep(const char* text, std::int32_t code,
                                                std::span<const std::uint8_t> data) noexcept
{
    if (!m_enabled.load() || !m_journals(code, data.size()))
        return 0;
    try {
        const std::string_view key = text ? std::string_view(text) : std::string_view();
        const platform::LocalTime receivedAt = m_clock.now();
        std::unique_lock held(m_lock);
        for (;;) {
            // While the archive fails the recorder waits, unless the station
            // closes: then an event the journal still takes is kept there.
            if (!m_archiveFailing || m_closing) {
                held.unlock();
                int error = 0;
                std::optional<std::uint64_t> id;
                try {
                    id = m_journal.append(key, code, data, receivedAt, error);
                } catch (const std::bad_alloc&) {
                    error = ENOMEM;
                }
                held.lock();
                if (id) {
                    if (m_journalFailing) {
                        m_journalFailing = false;
                        recoverLocked();
                    }
                    return id;
                }
                failLocked(false, error, m_journal.path());
            }
            if (m_closing)
                return std::nullopt;
            m_changed.wait_for(held, m_retryInterval);
        }
    } catch (...) {
        // Only the lock itself can fail here; the event is then not stored.
        return std::nullopt;
    }
}

void StorageGuard::close()
{
    const std::lock_guard held(m_lock);
    m_closing = true;
    m_changed.notify_all();
}

int StorageGuard::recover(Archive& archive)
{
    if (const int removed = removePartialFiles(archive.ProgramFolder()); removed > 0)
        m_tell(std::to_string(removed) + " unfinished archive files of the last run removed");
    EventJournal::Loaded loaded;
    if (const int error = m_journal.load(loaded)) {
        const std::lock_guard held(m_lock);
        failLocked(false, error, m_journal.path());
        return 0;
    }
    if (loaded.cutShort)
        m_tell("the journal ended in a record cut short or damaged; it was dropped");
    int recovered = 0;
    for (const std::uint64_t id : loaded.unarchived) {
        const std::optional<EventJournal::Event> event = m_journal.read(id);
        if (!event) {
            m_tell("a journaled event could not be read back (" + m_journal.path() + ")");
            continue;
        }
        const StoreOutcome outcome =
            archive.StoreReceived(event->key, event->code, event->data, event->receivedAt);
        if (outcome.failed()) {
            if (!outcome.lasting)
                archived(id, outcome);
            else if (!setAside(archive, *event, outcome))
                hold(id);
            continue;
        }
        release(*event);
        ++recovered;
    }
    if (!loaded.unarchived.empty()) {
        m_tell(std::to_string(recovered) + " events recovered from the journal");
        const std::lock_guard held(m_lock);
        if (!m_archiveFailing && !m_journalFailing)
            setTextLocked(std::to_string(recovered) + " events recovered after the last stop",
                          false);
    }
    return recovered;
}

void StorageGuard::archived(std::uint64_t id, const StoreOutcome& outcome)
{
    if (!outcome.failed()) {
        if (id != 0)
            m_journal.markArchived(id);
        return;
    }
    const std::lock_guard held(m_lock);
    if (id == 0) {
        // Not journaled ("Save data to disk" was off when it came): told, not held.
        m_tell("an event could not be archived: " + reasonOf(outcome.error, outcome.what));
        return;
    }
    if (outcome.lasting) {
        m_lasting.emplace_back(id, outcome);
        return;
    }
    m_failed.push_back(id);
    m_lastRetry = std::chrono::steady_clock::now();
    failLocked(true, outcome.error, outcome.what);
}

void StorageGuard::retry(Archive& archive)
{
    // Only this thread changes m_lasting.
    while (!m_lasting.empty()) {
        const auto [id, outcome] = m_lasting.front();
        m_lasting.pop_front();
        const std::optional<EventJournal::Event> event = m_journal.read(id);
        if (!event || !setAside(archive, *event, outcome))
            hold(id);
    }
    // Left from the last run, found once the journal could be opened at last.
    const std::vector<std::uint64_t> foundLate = m_journal.takeFoundLate();
    {
        const std::lock_guard held(m_lock);
        m_failed.insert(m_failed.end(), foundLate.begin(), foundLate.end());
        if (m_failed.empty() || std::chrono::steady_clock::now() - m_lastRetry < m_retryInterval)
            return;
        m_lastRetry = std::chrono::steady_clock::now();
    }
    // Only this thread changes m_failed.
    while (!m_failed.empty()) {
        const std::uint64_t id = m_failed.front();
        const std::optional<EventJournal::Event> event = m_journal.read(id);
        if (event) {
            const StoreOutcome outcome =
                archive.StoreReceived(event->key, event->code, event->data, event->receivedAt);
            if (outcome.failed() && !outcome.lasting) {
                const std::lock_guard held(m_lock);
                failLocked(true, outcome.error, outcome.what);
                return;
            }
            if (outcome.failed() && !setAside(archive, *event, outcome))
                return;
            if (!outcome.failed())
                release(*event);
        } else {
            // An event that cannot be read back stays in the journal's file
            // until it is emptied; there is nothing more to try for it.
            m_journal.markArchived(id);
        }
        const std::lock_guard held(m_lock);
        m_failed.pop_front();
    }
    const std::lock_guard held(m_lock);
    if (m_archiveFailing) {
        m_archiveFailing = false;
        recoverLocked();
    }
}

StorageGuard::Status StorageGuard::status() const
{
    const std::lock_guard held(m_lock);
    return m_status;
}

std::uint64_t StorageGuard::statusGeneration() const
{
    const std::lock_guard held(m_lock);
    return m_status.generation;
}

void StorageGuard::failLocked(bool archive, int error, const std::string& what)
{
    bool& flag = archive ? m_archiveFailing : m_journalFailing;
    const std::string reason = reasonOf(error, what);
    if (flag && reason == m_reason)
        return;
    flag = true;
    m_reason = reason;
    m_tell("the archive cannot be written: " + reason + "; recorders are held until it can");
    setTextLocked("Archive cannot be written: " + reason, true);
    m_changed.notify_all();
}

void StorageGuard::hold(std::uint64_t id)
{
    const std::lock_guard held(m_lock);
    m_failed.push_back(id);
    m_lastRetry = std::chrono::steady_clock::now();
}

bool StorageGuard::setAside(Archive& archive, const EventJournal::Event& event,
                            const StoreOutcome& outcome)
{
    const std::string reason = reasonOf(outcome.error, outcome.what);
    const WrittenFile kept = quarantineEvent(
        archive.ProgramFolder(), {event.id, event.key, event.code, event.receivedAt, event.data},
        m_clock.now(), reason);
    if (!kept) {
        const std::lock_guard held(m_lock);
        failLocked(true, kept.error,
                   platform::joinPath(archive.ProgramFolder(), kQuarantineFolderName));
        return false;
    }
    release(event);
    m_tell("an event of " + archive::deviceFolderName(event.key) + " can never be archived (" +
           reason + "); set aside as " + kept.path);
    const std::lock_guard held(m_lock);
    if (!m_archiveFailing && !m_journalFailing)
        setTextLocked("Event of " + archive::deviceFolderName(event.key) +
                          " set aside in quarantine: " + reason,
                      false);
    return true;
}

void StorageGuard::release(const EventJournal::Event& event)
{
    if (!m_passOn || m_passOn(event))
        m_journal.markArchived(event.id);
}

void StorageGuard::recoverLocked()
{
    if (m_archiveFailing || m_journalFailing)
        return;
    m_reason.clear();
    m_tell("the archive can be written again; held recorders go on");
    setTextLocked("Archive can be written again", false);
    m_changed.notify_all();
}

void StorageGuard::setTextLocked(std::string text, bool failing)
{
    ++m_status.generation;
    m_status.failing = failing;
    m_status.text = std::move(text);
}

} // namespace monitor
