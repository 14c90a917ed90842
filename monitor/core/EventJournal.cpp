#include "EventJournal.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
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
    while (!bytes.empty()) {
        const ssize_t n = ::pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    return 0;
}

constexpr std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

} // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc)
{
    crc = ~crc;
    for (const std::uint8_t b : bytes)
        crc = kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

EventJournal::EventJournal(std::string path) : m_path(std::move(path)) {}

EventJournal::~EventJournal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int EventJournal::openLocked()
{
    if (m_fd >= 0)
        return 0;
    m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kFileMode);
    return m_fd >= 0 ? 0 : errno;
}

int EventJournal::load(Loaded& loaded)
{
    const std::lock_guard held(m_lock);
    return loadLocked(loaded);
}

int EventJournal::loadLocked(Loaded& loaded)
{
    if (const int error = openLocked())
        return error;
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0)
        return errno;
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    std::map<std::uint64_t, Place> unarchived;
    std::uint64_t maxId = 0;
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> body;
    bool cleanEnd = false;
    while (fileSize - offset >= kHeaderSize) {
        std::array<std::uint8_t, kHeaderSize> header{};
        if (const int error = readAt(m_fd, header, offset))
            return error;
        const std::uint32_t length = getU32(header.data());
        if (length == 0) {
            cleanEnd = getU32(header.data() + 4) == 0;
            break;
        }
        if (length < kMarkBodySize || length > kMaxBody || length > fileSize - offset - kHeaderSize)
            break;
        body.resize(length);
        if (const int error = readAt(m_fd, body, offset + kHeaderSize))
            return error;
        if (crc32(body) != getU32(header.data() + 4))
            break;
        const std::uint64_t id = getU64(body.data() + 1);
        if (body[0] == kKindEvent && length >= kEventFixedSize &&
            getU32(body.data() + 20) <= length - kEventFixedSize) {
            unarchived[id] = {offset + kHeaderSize, length};
            maxId = std::max(maxId, id);
        } else if (body[0] == kKindArchived) {
            unarchived.erase(id);
        } else {
            break;
        }
        offset += kHeaderSize + length;
    }
    loaded.cutShort = !cleanEnd && offset < fileSize;
    loaded.unarchived.clear();
    for (const auto& [id, place] : unarchived)
        loaded.unarchived.push_back(id);
    m_unarchived = std::move(unarchived);
    m_end = offset;
    m_allocated = fileSize;
    m_nextId = std::max(m_nextId, maxId + 1);
    m_loaded = true;
    return 0;
}

int EventJournal::growLocked(std::uint64_t size)
{
    if (size <= m_allocated)
        return 0;
    const std::uint64_t target = (size + kGrowBytes - 1) / kGrowBytes * kGrowBytes;
    static const std::vector<std::uint8_t> zeros(kGrowBytes);
    while (m_allocated < target) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(target - m_allocated, zeros.size()));
        const ssize_t written = ::pwrite(m_fd, zeros.data(), n, static_cast<off_t>(m_allocated));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        m_allocated += static_cast<std::uint64_t>(written);
    }
    return 0;
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
    if (const int error = growLocked(m_end + kHeaderSize + length + kHeaderSize))
        return error;
    std::array<std::uint8_t, kHeaderSize> header{};
    putU32(header.data(), static_cast<std::uint32_t>(length));
    putU32(header.data() + 4, check);
    static constexpr std::array<std::uint8_t, kHeaderSize> kEndMark{};

    std::vector<iovec> pieces;
    pieces.push_back({header.data(), header.size()});
    for (const auto part : body)
        if (!part.empty())
            pieces.push_back({const_cast<std::uint8_t*>(part.data()), part.size()});
    pieces.push_back({const_cast<std::uint8_t*>(kEndMark.data()), kEndMark.size()});
    std::uint64_t at = m_end;
    std::size_t first = 0;
    while (first < pieces.size()) {
        const ssize_t n =
            ::pwritev(m_fd, pieces.data() + first,
                      static_cast<int>(std::min<std::size_t>(pieces.size() - first, IOV_MAX)),
                      static_cast<off_t>(at));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // What was written of the record is not whole: a later record
            // overwrites it, and until then it ends the journal.
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
    if (flush && ::fdatasync(m_fd) != 0)
        return errno;
    m_end = at - kEndMark.size();
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
    const std::uint64_t offset = m_end + kHeaderSize;
    const std::span<const std::uint8_t> parts[] = {
        fixed, {reinterpret_cast<const std::uint8_t*>(key.data()), key.size()}, data};
    if ((error = writeRecordLocked(parts, true)) != 0)
        return std::nullopt;
    ++m_nextId;
    m_unarchived[id] = {offset, static_cast<std::uint32_t>(m_end - offset)};
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
    if (found == m_unarchived.end() || m_fd < 0)
        return std::nullopt;
    std::vector<std::uint8_t> body(found->second.length);
    if (readAt(m_fd, body, found->second.offset) != 0)
        return std::nullopt;
    Event event;
    event.id = id;
    event.receivedAt.year = body[9] | (body[10] << 8);
    event.receivedAt.month = body[11];
    event.receivedAt.day = body[12];
    event.receivedAt.hour = body[13];
    event.receivedAt.minute = body[14];
    event.receivedAt.second = body[15];
    event.code = static_cast<std::int32_t>(getU32(body.data() + 16));
    const std::uint32_t keyLength = getU32(body.data() + 20);
    event.key.assign(reinterpret_cast<const char*>(body.data()) + kEventFixedSize, keyLength);
    event.data.assign(body.begin() + static_cast<std::ptrdiff_t>(kEventFixedSize + keyLength),
                      body.end());
    return event;
}

void EventJournal::markArchived(std::uint64_t id)
{
    const std::lock_guard held(m_lock);
    if (m_unarchived.erase(id) == 0 || m_fd < 0)
        return;
    if (m_unarchived.empty()) {
        // Emptied: the end mark at the start. A file that a backlog made long
        // is cut back; one that cannot be is written over all the same.
        static constexpr std::array<std::uint8_t, kHeaderSize> kEndMark{};
        if (::pwrite(m_fd, kEndMark.data(), kEndMark.size(), 0) ==
            static_cast<ssize_t>(kEndMark.size())) {
            m_end = 0;
            if (m_allocated > kKeepBytes && ::ftruncate(m_fd, static_cast<off_t>(kKeepBytes)) == 0)
                m_allocated = kKeepBytes;
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
    return m_end;
}

} // namespace monitor
