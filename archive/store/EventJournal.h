// EventJournal: the station's write-ahead journal of the events the archive
// keeps. An event is appended, and flushed to the disk, before the receiver
// library acknowledges it; the dispatcher marks it once it is archived; at the
// next start whatever is not marked is archived from here.
//
// Segments. The journal is a row of files in the program folder: its own name
// (kFileName), then the same name with ".1", ".2", ... Records go to the last
// one; once that holds more than the segment size (kSegmentBytes), the next
// record opens a new segment. A segment at the front in which no event waits
// any more is deleted, and when nothing waits at all the last one is emptied.
// A mark is always in the segment of its event or a later one, and segments
// are only ever deleted from the front, so no mark is lost while its event
// is kept. Under a backlog archived in arrival order the files hold about what
// waits, plus the part of the oldest segment already archived, plus the last
// segment's room: at most the bytes waiting and twice the segment size. A
// journal of an earlier version, one file under kFileName, is the first
// segment.
//
// Segment layout: a sequence of records from the start of the file, each
//   offset 0  u32  body length n (little-endian), 1 or more
//   offset 4  u32  CRC-32 (IEEE, as zlib's) of the n body bytes
//   offset 8  n    body
// and after the last one eight zero bytes (a length of 0 ends the segment).
// The body:
//   offset 0  u8   kind: 1 event, 2 archived mark
//   offset 1  u64  id (events are numbered from 1 up; a mark names one)
// then, for an event,
//   offset 9  u16  year; u8 month, day, hour, minute, second: when it was received
//   offset 16 i32  event code
//   offset 20 u32  key length k
//   offset 24 k    key (the callback's text, Windows-1252 bytes)
//   offset 24+k    the event's data, to the end of the body
// A record cut short by a crash, one whose check does not match, or one that
// no station can have written (a mark of another length, an event whose data
// is longer than the largest packet the library accepts) ends its segment:
// what follows it there is dropped. Loading checks a record's length against
// the file's remaining size and its kind and lengths before reading its body,
// and checks the body piece by piece, so a damaged length costs no memory.
//
// A segment keeps its length: it grows in steps of zero bytes and is written
// over in place. A flush then writes only the new record's bytes and never
// waits for the file system's own journal, which also carries other files'
// data (clips being archived): a position is not held up behind them. A new
// segment's name is flushed with its folder before a record goes into it.
//
// Threads: append() runs on the receiver library's worker threads, the rest on
// the user-interface thread; m_lock guards the files, their ends and the table
// of events not yet archived, and is held through each append's flush.
#pragma once

#include "FileDescriptor.h"
#include "LocalTime.h"
#include "kavrel_link.h"

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
    // The journal's file name in the program folder: its first segment.
    static constexpr std::string_view kFileName = "Tessaro.journal";
    // A body larger than this is taken as damage, not as a record.
    static constexpr std::uint32_t kMaxBody = 0x7FFFFFFF;
    // An event's data is at most the largest packet and its zero byte.
    static constexpr std::uint64_t kMaxEventData =
        static_cast<std::uint64_t>(kavrel::kMaxPacketSizeCeiling) + 1;
    // A segment grows by at least this much.
    static constexpr std::uint64_t kGrowBytes = std::uint64_t{1} << 20;
    // A segment whose records pass this is followed by a new one; the last
    // segment is cut back to this when the journal is emptied.
    static constexpr std::uint64_t kSegmentBytes = std::uint64_t{8} << 20;

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

    explicit EventJournal(std::string path, std::uint64_t segmentBytes = kSegmentBytes);
    ~EventJournal();
    EventJournal(const EventJournal&) = delete;
    EventJournal& operator=(const EventJournal&) = delete;

    const std::string& path() const { return m_path; }

    // Opens the segments (the first made when there is none) and reads their
    // records; the events not marked archived can then be read(). 0 on
    // success, else errno.
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

    // An event not yet archived, read back from the file; none when unknown,
    // unreadable or too large for the memory left.
    std::optional<Event> read(std::uint64_t id);

    // The event is archived (or is not to be): it is marked so, segments at
    // the front where nothing waits any more are deleted, and once no event
    // waits the last one is emptied. The mark is not flushed by itself; the
    // next append's flush takes it along.
    void markArchived(std::uint64_t id);

    // How many events wait to be archived; the bytes of the records in the
    // segments; the bytes of the segments' files on the disk.
    std::size_t unarchivedCount() const;
    std::uint64_t size() const;
    std::uint64_t fileBytes() const;

private:
    struct Segment
    {
        explicit Segment(int descriptor = -1) : fd(descriptor) {}
        platform::FileDescriptor fd; // the segment's file, open for reading and writing
        std::uint64_t end = 0;       // end of its last whole record
        std::uint64_t allocated = 0; // its file's length
        std::size_t waiting = 0;     // its events not yet archived
    };
    struct Place
    {
        std::uint64_t segment; // its number
        std::uint64_t offset;  // of the record's body
        std::uint32_t length;  // of the body
    };

    // The file of segment number n: the journal's name, then ".n" after the first.
    std::string segmentPath(std::uint64_t number) const;
    int loadLocked(Loaded& loaded);
    // Reads one segment's records into the table; false when one was damaged.
    int readSegmentLocked(std::uint64_t number, Segment& segment,
                          std::map<std::uint64_t, Place>& unarchived, std::uint64_t& maxId,
                          bool& damaged);
    // Makes the next segment the last one; 0, or errno (the last one stays).
    int openNextSegmentLocked();
    // Deletes the segments at the front in which nothing waits.
    void dropArchivedSegmentsLocked();
    // Writes the record's pieces and the end mark at the last segment's end.
    int writeRecordLocked(std::span<const std::span<const std::uint8_t>> body, bool flush);
    // Makes the segment's file at least size bytes long with zero bytes.
    static int grow(Segment& segment, std::uint64_t size);
    void closeAll();

    const std::string m_path;
    const std::uint64_t m_segmentBytes;
    mutable std::mutex m_lock;
    bool m_loaded = false;
    // By number, oldest first; the last takes the new records.
    std::map<std::uint64_t, Segment> m_segments;
    std::uint64_t m_nextId = 1;
    std::map<std::uint64_t, Place> m_unarchived;
    std::vector<std::uint64_t> m_foundLate;
    // Whether m_foundLate may hold ids: the dispatcher asks every tick, and
    // must not wait behind an append's flush to hear that it holds none.
    std::atomic<bool> m_hasFoundLate{false};
};

// CRC-32 (IEEE 802.3, reflected, as zlib's crc32()); crc is the value so far.
std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

} // namespace monitor
