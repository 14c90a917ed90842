#include "LibrarySettings.h"

#include <ini.h>

#include <cctype>
#include <charconv>
#include <strings.h>

namespace kavrel {

std::optional<std::int32_t> parseSettingInteger(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);

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

struct Reading
{
    LibrarySettings settings;
    // The first occurrence of a key wins, as the system's profile reader has it.
    bool seenWantLog = false, seenShowDebug = false, seenSaveData = false, seenTimeout = false,
         seenMaxPacket = false, seenMaxConnections = false;
};

bool equalsNoCase(const char* a, std::string_view b)
{
    return std::string_view(a).size() == b.size() && strncasecmp(a, b.data(), b.size()) == 0;
}

void take(bool& seen, const char* value, auto&& store)
{
    if (seen)
        return;
    seen = true;
    if (const auto v = parseSettingInteger(value))
        store(*v);
}

int onEntry(void* user, const char* section, const char* name, const char* value)
{
    auto& r = *static_cast<Reading*>(user);
    if (!equalsNoCase(section, LibrarySettings::kSection))
        return 1;
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
                s.MAX_PACKET_SIZE = v;
        });
    else if (equalsNoCase(name, "MAX_CONNECTIONS"))
        take(r.seenMaxConnections, value, [&](std::int32_t v) {
            if (v > 0)
                s.MAX_CONNECTIONS = v;
        });
    return 1;
}

} // namespace

LibrarySettings LibrarySettings::load(const std::string& path)
{
    Reading reading;
    // A missing or unreadable file leaves every default; a malformed line is skipped.
    ini_parse(path.c_str(), onEntry, &reading);
    return reading.settings;
}

} // namespace kavrel
