#include "EventJournal.h"

#include "FileDescriptor.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <sys/stat.h>
#include <sys/uio.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace monitor {

namespace {

constexpr std::size_t kHeaderSize = 8;      // length, check
constexpr std::size_t kMarkBodySize = 9;    // kind, id
constexpr std::size_t kEventFixedSize = 24; // kind, id, time, code, key length
constexpr std::uint8_t kKindEvent = 1;
constexpr std::uint8_t kKindArchived = 2;
constexpr mode_t kFileMode = 0644;
// A body is checked in pieces of this size when the journal is loaded.
constexpr std::size_t kCheckPiece = std::size_t{1} << 20;
// Between the journal's name and a later segment's number.
constexpr char kSegmentMark = '.';
constexpr std::array<std::uint8_t, kHeaderSize> kEndMark{};

void putU16(std::uint8_t* at, std::uint16_t v)
{
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}

void putU32(std::uint8_t* at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void putU64(std::uint8_t* at, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t getU32(const std::uint8_t* at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | at[i];
    return v;
}

std::uint64_t getU64(const std::uint8_t* at)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | at[i];
    return v;
}

// Reads exactly bytes.size() bytes at offset; 0, or errno (EIO for a short file).
int readAt(int fd, std::span<std::uint8_t> bytes, std::uint64_t offset)
{
    return platform::readAllAt(fd, std::as_writable_bytes(bytes), offset);
}

// Slicing by eight: table 0 is the byte-at-a-time table, table k the CRC of a
// byte followed by k zero bytes, so that eight bytes are taken per step (a
// damaged record's claimed length is checked at the disk's pace).
constexpr std::size_t kCrcSlices = 8;
using CrcTables = std::array<std::array<std::uint32_t, 256>, kCrcSlices>;

constexpr CrcTables makeCrcTables()
{
    CrcTables tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        tables[0][n] = c;
    }
    for (std::size_t k = 1; k < kCrcSlices; ++k)
        for (std::size_t n = 0; n < 256; ++n)
            tables[k][n] = (tables[k - 1][n] >> 8) ^ tables[0][tables[k - 1][n] & 0xFF];
    return tables;
}

constexpr CrcTables kCrcTables = makeCrcTables();

} // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc)
{
    const auto& t = kCrcTables;
    crc = ~crc;
    while (bytes.size() >= kCrcSlices) {
        const std::uint32_t one = getU32(bytes.data()) ^ crc;
        const std::uint32_t two = getU32(bytes.data() + 4);
        crc = t[7][one & 0xFF] ^ t[6][(one >> 8) & 0xFF] ^ t[5][(one >> 16) & 0xFF] ^
              t[4][one >> 24] ^ t[3][two & 0xFF] ^ t[2][(two >> 8) & 0xFF] ^
              t[1][(two >> 16) & 0xFF] ^ t[0][two >> 24];
        bytes = bytes.subspan(kCrcSlices);
    }
    for (const std::uint8_t b : bytes)
        crc = t[0][(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

EventJournal::EventJournal(std::string path, std::uint64_t segmentBytes)
    : m_path(std::move(path)), m_segmentBytes(std::max<std::uint64_t>(segmentBytes, 1))
{
}

EventJournal::~EventJournal()
{
    closeAll();
}

void EventJournal::closeAll()
{
    m_segments.clear();
}

std::string EventJournal::segmentPath(std::uint64_t number) const
{
    return number == 0 ? m_path : m_path + kSegmentMark + std::to_string(number);
}

int EventJournal::load(Loaded& loaded)
{
    const std::lock_guard held(m_lock);
    return loadLocked(loaded);
}

int EventJournal::loadLocked(Loaded& loaded)
{
    namespace fs = std::filesystem;
    closeAll();
    m_loaded = false;
    // The segments there are: the journal's own name and its numbered followers.
    const fs::path own(m_path);
    const std::string ownName = own.filename().string();
    std::vector<std::uint64_t> numbers;
    std::error_code ec;
    const fs::path folder = own.has_parent_path() ? own.parent_path() : fs::path(".");
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name == ownName) {
            numbers.push_back(0);
            continue;
        }
        if (name.size() <= ownName.size() + 1 || !name.starts_with(ownName) ||
            name[ownName.size()] != kSegmentMark)
            continue;
        const std::string_view digits = std::string_view(name).substr(ownName.size() + 1);
        std::uint64_t number = 0;
        const auto [at, fault] =
            std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (fault == std::errc() && at == digits.data() + digits.size() && number > 0 &&
            digits.front() != '0')
            numbers.push_back(number);
    }
    if (ec)
        return ec.value();
    if (numbers.empty())
        numbers.push_back(0);
    std::sort(numbers.begin(), numbers.end());

    std::map<std::uint64_t, Place> unarchived;
    std::uint64_t maxId = 0;
    bool damaged = false;
    for (const std::uint64_t number : numbers) {
        Segment& segment = m_segments
                               .try_emplace(number, ::open(segmentPath(number).c_str(),
                                                           O_RDWR | O_CREAT | O_CLOEXEC, kFileMode))
                               .first->second;
        if (segment.fd.get() < 0) {
            const int error = errno;
            closeAll();
            return error;
        }
        if (const int error = readSegmentLocked(number, segment, unarchived, maxId, damaged)) {
            closeAll();
            return error;
        }
    }
    loaded.cutShort = damaged;
    loaded.unarchived.clear();
    for (const auto& [id, place] : unarchived) {
        loaded.unarchived.push_back(id);
        ++m_segments[place.segment].waiting;
    }
    m_unarchived = std::move(unarchived);
    m_nextId = std::max(m_nextId, maxId + 1);
    m_loaded = true;
    dropArchivedSegmentsLocked();
    return 0;
}

int EventJournal::readSegmentLocked(std::uint64_t number, Segment& segment,
                                    std::map<std::uint64_t, Place>& unarchived,
                                    std::uint64_t& maxId, bool& damaged)
{
    struct stat st
    {
    };
    if (::fstat(segment.fd.get(), &st) != 0)
        return errno;
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> piece;
    bool cleanEnd = false;
    while (fileSize - offset >= kHeaderSize) {
        std::array<std::uint8_t, kHeaderSize> header{};
        if (const int error = readAt(segment.fd.get(), header, offset))
            return error;
        const std::uint32_t length = getU32(header.data());
        if (length == 0) {
            cleanEnd = getU32(header.data() + 4) == 0;
            break;
        }
        if (length < kMarkBodySize || length > kMaxBody || length > fileSize - offset - kHeaderSize)
            break;
        // The kind and the lengths first: a record no station can have
        // written is not read any further.
        std::array<std::uint8_t, kEventFixedSize> fixed{};
        const std::size_t fixedLength = std::min<std::size_t>(length, fixed.size());
        if (const int error =
                readAt(segment.fd.get(), std::span(fixed).first(fixedLength), offset + kHeaderSize))
            return error;
        const std::uint8_t kind = fixed[0];
        const bool isMark = kind == kKindArchived && length == kMarkBodySize;
        const bool isEvent = kind == kKindEvent && length >= kEventFixedSize &&
                             getU32(fixed.data() + 20) <= length - kEventFixedSize &&
                             length - kEventFixedSize - getU32(fixed.data() + 20) <= kMaxEventData;
        if (!isMark && !isEvent)
            break;
        std::uint32_t check = crc32(std::span(fixed).first(fixedLength));
        for (std::uint64_t done = fixedLength; done < length;) {
            piece.resize(
                static_cast<std::size_t>(std::min<std::uint64_t>(length - done, kCheckPiece)));
            if (const int error = readAt(segment.fd.get(), piece, offset + kHeaderSize + done))
                return error;
            check = crc32(piece, check);
            done += piece.size();
        }
        if (check != getU32(header.data() + 4))
            break;
        const std::uint64_t id = getU64(fixed.data() + 1);
        if (isEvent) {
            unarchived[id] = {number, offset + kHeaderSize, length};
            maxId = std::max(maxId, id);
        } else {
            unarchived.erase(id);
        }
        offset += kHeaderSize + length;
    }
    if (!cleanEnd && offset < fileSize)
        damaged = true;
    segment.end = offset;
    segment.allocated = fileSize;
    return 0;
}

int EventJournal::grow(Segment& segment, std::uint64_t size)
{
    if (size <= segment.allocated)
        return 0;
    const std::uint64_t target = (size + kGrowBytes - 1) / kGrowBytes * kGrowBytes;
    static const std::vector<std::uint8_t> zeros(kGrowBytes);
    while (segment.allocated < target) {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(target - segment.allocated, zeros.size()));
        if (const int error = platform::writeAllAt(
                segment.fd.get(), std::as_bytes(std::span(zeros).first(n)), segment.allocated);
            error != 0)
            return error;
        segment.allocated += n;
    }
    return 0;
}

int EventJournal::openNextSegmentLocked()
{
    auto last = std::prev(m_segments.end());
    // The marks written into it since the last append go to the disk with it.
    if (::fdatasync(last->second.fd.get()) != 0)
        return errno;
    const std::uint64_t number = last->first + 1;
    const std::string path = segmentPath(number);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, kFileMode);
    if (fd < 0)
        return errno;
    // In place at once, so that its descriptor has its owner; taken out again
    // when it cannot be made ready.
    const auto added = m_segments.try_emplace(number, fd).first;
    Segment& segment = added->second;
    int error = grow(segment, kHeaderSize);
    // Its name in the folder must outlast a crash before a record counts on it.
    if (error == 0 && ::fdatasync(segment.fd.get()) != 0)
        error = errno;
    if (error == 0) {
        const platform::FileDescriptor folder(::open(
            std::filesystem::path(path).parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.get() < 0 || ::fsync(folder.get()) != 0)
            error = errno;
    }
    if (error != 0) {
        m_segments.erase(added);
        ::unlink(path.c_str());
        return error;
    }
    return 0;
}

void EventJournal::dropArchivedSegmentsLocked()
{
    while (m_segments.size() > 1 && m_segments.begin()->second.waiting == 0) {
        const auto first = m_segments.begin();
        first->second.fd.close();
        // One that cannot be deleted only holds archived events: a later
        // start reads it again and finds them marked, or archives a copy.
        ::unlink(segmentPath(first->first).c_str());
        m_segments.erase(first);
    }
}

int EventJournal::writeRecordLocked(std::span<const std::span<const std::uint8_t>> body, bool flush)
{
    std::uint32_t check = 0;
    std::size_t length = 0;
    for (const auto part : body) {
        check = crc32(part, check);
        length += part.size();
    }
    if (length > kMaxBody)
        return EFBIG;
    Segment& segment = std::prev(m_segments.end())->second;
    if (const int error = grow(segment, segment.end + kHeaderSize + length + kHeaderSize))
        return error;
    std::array<std::uint8_t, kHeaderSize> header{};
    putU32(header.data(), static_cast<std::uint32_t>(length));
    putU32(header.data() + 4, check);

    std::vector<iovec> pieces;
    pieces.push_back({header.data(), header.size()});
    for (const auto part : body)
        if (!part.empty())
            pieces.push_back({const_cast<std::uint8_t*>(part.data()), part.size()});
    pieces.push_back({const_cast<std::uint8_t*>(kEndMark.data()), kEndMark.size()});
    std::uint64_t at = segment.end;
    std::size_t first = 0;
    while (first < pieces.size()) {
        const ssize_t n = platform::retryOnInterrupt([&] {
            return ::pwritev(
                segment.fd.get(), pieces.data() + first,
                static_cast<int>(std::min<std::size_t>(pieces.size() - first, IOV_MAX)),
                static_cast<off_t>(at));
        });
        if (n < 0) {
            // What was written of the record is not whole: a later record
            // overwrites it, and until then it ends the segment.
            return errno;
        }
        at += static_cast<std::uint64_t>(n);
        auto left = static_cast<std::size_t>(n);
        while (first < pieces.size() && left >= pieces[first].iov_len)
            left -= pieces[first++].iov_len;
        if (first < pieces.size()) {
            pieces[first].iov_base = static_cast<std::uint8_t*>(pieces[first].iov_base) + left;
            pieces[first].iov_len -= left;
        }
    }
    if (flush && ::fdatasync(segment.fd.get()) != 0)
        return errno;
    segment.end = at - kEndMark.size();
    return 0;
}

std::optional<std::uint64_t> EventJournal::append(std::string_view key, std::int32_t code,
                                                  std::span<const std::uint8_t> data,
                                                  const platform::LocalTime& receivedAt, int& error)
{
    const std::lock_guard held(m_lock);
    if (!m_loaded) {
        Loaded loaded;
        if ((error = loadLocked(loaded)) != 0)
            return std::nullopt;
        m_foundLate = std::move(loaded.unarchived);
        m_hasFoundLate = !m_foundLate.empty();
    }
    // A full segment is followed by a new one; when that cannot be made the
    // record still goes into the full one.
    if (std::prev(m_segments.end())->second.end >= m_segmentBytes)
        (void)openNextSegmentLocked();
    const std::uint64_t id = m_nextId;
    std::array<std::uint8_t, kEventFixedSize> fixed{};
    fixed[0] = kKindEvent;
    putU64(fixed.data() + 1, id);
    putU16(fixed.data() + 9, static_cast<std::uint16_t>(receivedAt.year));
    fixed[11] = static_cast<std::uint8_t>(receivedAt.month);
    fixed[12] = static_cast<std::uint8_t>(receivedAt.day);
    fixed[13] = static_cast<std::uint8_t>(receivedAt.hour);
    fixed[14] = static_cast<std::uint8_t>(receivedAt.minute);
    fixed[15] = static_cast<std::uint8_t>(receivedAt.second);
    putU32(fixed.data() + 16, static_cast<std::uint32_t>(code));
    putU32(fixed.data() + 20, static_cast<std::uint32_t>(key.size()));
    const auto last = std::prev(m_segments.end());
    const std::uint64_t offset = last->second.end + kHeaderSize;
    const std::span<const std::uint8_t> parts[] = {
        fixed, {reinterpret_cast<const std::uint8_t*>(key.data()), key.size()}, data};
    if ((error = writeRecordLocked(parts, true)) != 0)
        return std::nullopt;
    ++m_nextId;
    m_unarchived[id] = {last->first, offset, static_cast<std::uint32_t>(last->second.end - offset)};
    ++last->second.waiting;
    return id;
}

std::vector<std::uint64_t> EventJournal::takeFoundLate()
{
    if (!m_hasFoundLate.load())
        return {};
    const std::lock_guard held(m_lock);
    m_hasFoundLate = false;
    return std::exchange(m_foundLate, {});
}

std::optional<EventJournal::Event> EventJournal::read(std::uint64_t id)
{
    const std::lock_guard held(m_lock);
    const auto found = m_unarchived.find(id);
    if (found == m_unarchived.end())
        return std::nullopt;
    const Place place = found->second;
    const int fd = m_segments.at(place.segment).fd.get();
    try {
        std::array<std::uint8_t, kEventFixedSize> fixed{};
        if (readAt(fd, fixed, place.offset) != 0)
            return std::nullopt;
        Event event;
        event.id = id;
        event.receivedAt.year = fixed[9] | (fixed[10] << 8);
        event.receivedAt.month = fixed[11];
        event.receivedAt.day = fixed[12];
        event.receivedAt.hour = fixed[13];
        event.receivedAt.minute = fixed[14];
        event.receivedAt.second = fixed[15];
        event.code = static_cast<std::int32_t>(getU32(fixed.data() + 16));
        const std::uint32_t keyLength = getU32(fixed.data() + 20);
        event.key.resize(keyLength);
        event.data.resize(place.length - kEventFixedSize - keyLength);
        if (readAt(fd, {reinterpret_cast<std::uint8_t*>(event.key.data()), event.key.size()},
                   place.offset + kEventFixedSize) != 0 ||
            readAt(fd, event.data, place.offset + kEventFixedSize + keyLength) != 0)
            return std::nullopt;
        return event;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

void EventJournal::markArchived(std::uint64_t id)
{
    const std::lock_guard held(m_lock);
    const auto found = m_unarchived.find(id);
    if (found == m_unarchived.end())
        return;
    --m_segments.at(found->second.segment).waiting;
    m_unarchived.erase(found);
    dropArchivedSegmentsLocked();
    Segment& last = std::prev(m_segments.end())->second;
    if (m_unarchived.empty()) {
        // Emptied: the end mark at the start. A segment that a backlog made
        // long is cut back; one that cannot be is written over all the same.
        if (::pwrite(last.fd.get(), kEndMark.data(), kEndMark.size(), 0) ==
            static_cast<ssize_t>(kEndMark.size())) {
            last.end = 0;
            if (last.allocated > m_segmentBytes &&
                ::ftruncate(last.fd.get(), static_cast<off_t>(m_segmentBytes)) == 0)
                last.allocated = m_segmentBytes;
            return;
        }
    }
    std::array<std::uint8_t, kMarkBodySize> mark{};
    mark[0] = kKindArchived;
    putU64(mark.data() + 1, id);
    const std::span<const std::uint8_t> parts[] = {mark};
    // A mark that cannot be written costs at most a second copy of the event
    // after a crash.
    (void)writeRecordLocked(parts, false);
}

std::size_t EventJournal::unarchivedCount() const
{
    const std::lock_guard held(m_lock);
    return m_unarchived.size();
}

std::uint64_t EventJournal::size() const
{
    const std::lock_guard held(m_lock);
    std::uint64_t total = 0;
    for (const auto& [number, segment] : m_segments)
        total += segment.end;
    return total;
}

std::uint64_t EventJournal::fileBytes() const
{
    const std::lock_guard held(m_lock);
    std::uint64_t total = 0;
    for (const auto& [number, segment] : m_segments)
        total += segment.allocated;
    return total;
}

} // namespace monitor
