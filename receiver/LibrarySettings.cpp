#include "LibrarySettings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <strings.h>

namespace kavrel {

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::optional<std::int32_t> parseSettingInteger(std::string_view text)
{
    text = trimmed(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.starts_with("$")) {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;

    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size())
        return std::nullopt;

    if (base == 16) {
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
        auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(v)) : v;
    }
    if (negative) {
        if (value > 0x80000000u)
            return std::nullopt;
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(value));
    }
    if (value > 0x7FFFFFFFu)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

struct Reading
{
    LibrarySettings settings;
    // The first occurrence of a key wins, as the system's profile reader has it.
    bool seenWantLog = false, seenShowDebug = false, seenSaveData = false, seenTimeout = false,
         seenMaxPacket = false, seenMaxConnections = false, seenMaxPacketMemory = false,
         seenMaxPerAddress = false, seenTrustedProxies = false;
};

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), b.size()) == 0;
}

void take(bool& seen, std::string_view value, auto&& store)
{
    if (seen)
        return;
    seen = true;
    if (const auto v = parseSettingInteger(value))
        store(*v);
}

void onEntry(Reading& r, std::string_view name, std::string_view value)
{
    auto& s = r.settings;
    const auto low8 = [](std::int32_t v) { return static_cast<std::uint8_t>(v & 0xFF); };
    if (equalsNoCase(name, "WANT_LOG"))
        take(r.seenWantLog, value, [&](std::int32_t v) { s.WANT_LOG = low8(v); });
    else if (equalsNoCase(name, "SHOW_DEBUG"))
        take(r.seenShowDebug, value, [&](std::int32_t v) { s.SHOW_DEBUG = low8(v); });
    else if (equalsNoCase(name, "SAVE_DATA"))
        take(r.seenSaveData, value, [&](std::int32_t v) { s.SAVE_DATA = low8(v); });
    else if (equalsNoCase(name, "SOCKET_TIMEOUT"))
        take(r.seenTimeout, value, [&](std::int32_t v) { s.SOCKET_TIMEOUT = v; });
    else if (equalsNoCase(name, "MAX_PACKET_SIZE"))
        take(r.seenMaxPacket, value, [&](std::int32_t v) {
            if (v > 0)
                s.MAX_PACKET_SIZE = std::min(v, LibrarySettings::kMaxPacketSizeLimit);
        });
    else if (equalsNoCase(name, "MAX_CONNECTIONS"))
        take(r.seenMaxConnections, value, [&](std::int32_t v) {
            if (v > 0)
                s.MAX_CONNECTIONS = v;
        });
    else if (equalsNoCase(name, "MAX_PACKET_MEMORY"))
        take(r.seenMaxPacketMemory, value, [&](std::int32_t v) {
            if (v > 0)
                s.MAX_PACKET_MEMORY = v;
        });
    else if (equalsNoCase(name, "TRUSTED_PROXIES")) {
        if (!r.seenTrustedProxies)
            s.TRUSTED_PROXIES = TrustedProxies::parse(value);
        r.seenTrustedProxies = true;
    } else if (equalsNoCase(name, "MAX_CONNECTIONS_PER_ADDRESS"))
        take(r.seenMaxPerAddress, value, [&](std::int32_t v) {
            if (v >= 0)
                s.MAX_CONNECTIONS_PER_ADDRESS = v;
        });
}

// An inline comment: ";" after a blank, as in "SAVE_DATA=1 ; raw files".
std::string_view withoutComment(std::string_view value)
{
    for (std::size_t i = 1; i < value.size(); ++i)
        if (value[i] == ';' && std::isspace(static_cast<unsigned char>(value[i - 1])))
            return value.substr(0, i);
    return value;
}

} // namespace

LibrarySettings LibrarySettings::load(const std::string& path)
{
    // Lines are read as the system's profile functions read them: blanks
    // around names and values do not count, "[name]" opens a section, a key
    // runs up to the first "=" (the only separator), and every line stands on
    // its own: an indented line is a key of its own, never the continuation of
    // the one before. A missing or unreadable file leaves every default; a line
    // that is no section and holds no "=" is skipped, as is a ";" comment.
    Reading reading;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    bool inOption = false;
    for (bool first = true; std::getline(in, line); first = false) {
        std::string_view text = line;
        if (first && text.starts_with(kUtf8ByteOrderMark))
            text.remove_prefix(kUtf8ByteOrderMark.size());
        text = trimmed(text);
        if (text.starts_with('[')) {
            const std::size_t end = text.find(']');
            inOption =
                end != std::string_view::npos && equalsNoCase(text.substr(1, end - 1), kSection);
            continue;
        }
        const std::size_t equals = text.find('=');
        if (!inOption || text.starts_with(';') || equals == std::string_view::npos)
            continue;
        onEntry(reading, trimmed(text.substr(0, equals)),
                trimmed(withoutComment(text.substr(equals + 1))));
    }
    return reading.settings;
}

} // namespace kavrel
