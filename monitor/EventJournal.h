// EventJournal: the station's write-ahead journal of the events the archive
// keeps. An event is appended, and flushed to the disk, before the receiver
// library acknowledges it; the dispatcher marks it once it is archived; at the
// next start whatever is not marked is archived from here. The journal is
// emptied whenever nothing in it waits to be archived, so it stays small.
//
// File layout: a sequence of records, each
//   offset 0  u32  body length n (little-endian)
//   offset 4  u32  CRC-32 (IEEE, as zlib's) of the n body bytes
//   offset 8  n    body
// and the body
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
        std::uint64_t droppedBytes = 0;        // bytes after the last whole record
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

    // An event not yet archived, read back from the file; none when unknown or unreadable.
    std::optional<Event> read(std::uint64_t id);

    // The event is archived (or is not to be): it is marked so, and once no
    // event waits any more the file is emptied. The mark is not flushed by
    // itself; the next append's flush takes it along.
    void markArchived(std::uint64_t id);

    // How many events wait to be archived; the file's length in bytes.
    std::size_t unarchivedCount() const;
    std::uint64_t size() const;

private:
    int openLocked();
    int loadLocked(Loaded& loaded);
    // Writes the record's pieces at the end; on failure cuts the file back.
    int writeRecordLocked(std::span<const std::span<const std::uint8_t>> body, bool flush);

    const std::string m_path;
    mutable std::mutex m_lock;
    int m_fd = -1;
    bool m_loaded = false;
    std::uint64_t m_end = 0; // end of the last whole record
    std::uint64_t m_nextId = 1;
    struct Place
    {
        std::uint64_t offset; // of the record's body
        std::uint32_t length; // of the body
    };
    std::map<std::uint64_t, Place> m_unarchived;
};

// CRC-32 (IEEE 802.3, reflected, as zlib's crc32()); crc is the value so far.
std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

} // namespace monitor
