// EventJournal: the station's write-ahead journal of the events the archive
// keeps. An event is appended, and flushed to the disk, before the receiver
// library acknowledges it; the dispatcher marks it once it is archived; at the
// next start whatever is not marked is archived from here. The journal is
// emptied whenever nothing in it waits to be archived, so it stays small.
//
// File layout: a sequence of records from the start of the file, each
//   offset 0  u32  body length n (little-endian), 1 or more
//   offset 4  u32  CRC-32 (IEEE, as zlib's) of the n body bytes
//   offset 8  n    body
// and after the last one eight zero bytes (a length of 0 ends the journal).
// The body:
//   offset 0  u8   kind: 1 event, 2 archived mark
//   offset 1  u64  id (events are numbered from 1 up; a mark names one)
// then, for an event,
//   offset 9  u16  year; u8 month, day, hour, minute, second: when it was received
//   offset 16 i32  event code
//   offset 20 u32  key length k
//   offset 24 k    key (the callback's text, Windows-1252 bytes)
//   offset 24+k    the event's data, to the end of the body
// A record cut short by a crash, or one whose check does not match, ends the
// journal: what follows it is dropped.
//
// The file keeps its length: it grows in steps of zero bytes and is written
// over in place, and emptying it writes the end mark at its start. A flush
// then writes only the new record's bytes and never waits for the file
// system's own journal, which also carries other files' data (clips being
// archived): a position is not held up behind them.
//
// Threads: append() runs on the receiver library's worker threads, the rest on
// the user-interface thread; m_lock guards the file, its end and the table of
// events not yet archived, and is held through each append's flush.
#pragma once

#include "LocalTime.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace monitor {

class EventJournal
{
public:
    // The journal's file name in the program folder.
    static constexpr std::string_view kFileName = "Tessaro.journal";
    // A body larger than this is taken as damage, not as a record.
    static constexpr std::uint32_t kMaxBody = 0x7FFFFFFF;
    // The file grows by at least this much, and is cut back to this when emptied.
    static constexpr std::uint64_t kGrowBytes = std::uint64_t{1} << 20;
    static constexpr std::uint64_t kKeepBytes = std::uint64_t{8} << 20;

    struct Event
    {
        std::uint64_t id = 0;
        platform::LocalTime receivedAt;
        std::int32_t code = 0;
        std::string key;
        std::vector<std::uint8_t> data;
    };

    // What load() found.
    struct Loaded
    {
        std::vector<std::uint64_t> unarchived; // ids of events not marked, oldest first
        bool cutShort = false; // the last record was cut short or damaged, and dropped
    };

    explicit EventJournal(std::string path);
    ~EventJournal();
    EventJournal(const EventJournal&) = delete;
    EventJournal& operator=(const EventJournal&) = delete;

    const std::string& path() const { return m_path; }

    // Opens the file (made when missing) and reads its records; the events
    // not marked archived can then be read(). 0 on success, else errno.
    int load(Loaded& loaded);

    // Any thread: appends the event and flushes it to the disk. Gives its id,
    // or none with error set to errno (nothing of it stays in the journal).
    // Opens and loads the file first when load() has not succeeded yet.
    std::optional<std::uint64_t> append(std::string_view key, std::int32_t code,
                                        std::span<const std::uint8_t> data,
                                        const platform::LocalTime& receivedAt, int& error);

    // The events not yet archived that append() found when it had to load
    // the file itself (load() had failed); each is given out once.
    std::vector<std::uint64_t> takeFoundLate();

    // An event not yet archived, read back from the file; none when unknown or unreadable.
    std::optional<Event> read(std::uint64_t id);

    // The event is archived (or is not to be): it is marked so, and once no
    // event waits any more the file is emptied. The mark is not flushed by
    // itself; the next append's flush takes it along.
    void markArchived(std::uint64_t id);

    // How many events wait to be archived; the bytes of the records in the file.
    std::size_t unarchivedCount() const;
    std::uint64_t size() const;

private:
    int openLocked();
    int loadLocked(Loaded& loaded);
    // Writes the record's pieces and the end mark at the end.
    int writeRecordLocked(std::span<const std::span<const std::uint8_t>> body, bool flush);
    // Makes the file at least size bytes long with zero bytes.
    int growLocked(std::uint64_t size);

    const std::string m_path;
    mutable std::mutex m_lock;
    int m_fd = -1;
    bool m_loaded = false;
    std::uint64_t m_end = 0;       // end of the last whole record
    std::uint64_t m_allocated = 0; // the file's length
    std::uint64_t m_nextId = 1;
    struct Place
    {
        std::uint64_t offset; // of the record's body
        std::uint32_t length; // of the body
    };
    std::map<std::uint64_t, Place> m_unarchived;
    std::vector<std::uint64_t> m_foundLate;
    // Whether m_foundLate may hold ids: the dispatcher asks every tick, and
    // must not wait behind an append's flush to hear that it holds none.
    std::atomic<bool> m_hasFoundLate{false};
};

// CRC-32 (IEEE 802.3, reflected, as zlib's crc32()); crc is the value so far.
std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

} // namespace monitor
