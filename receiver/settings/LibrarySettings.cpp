// Reading quvex.ini, and telling what in it cannot be used.
#include "LibrarySettings.h"

#include "SettingsText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <strings.h>

namespace kavrel {

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
// A value longer than this is shortened in a finding.
constexpr std::size_t kQuotedValueLength = 40;

// How a key's value is kept.
enum class Kind
{
    LowByte,     // the low 8 bits of any integer
    Any,         // any integer
    Positive,    // 1 and more, at most cap
    NonNegative, // 0 and more
    AddressList, // addresses and ranges, comma-separated
};

struct Key
{
    std::string_view name;
    Kind kind;
    std::uint8_t LibrarySettings::*byte = nullptr;
    std::int32_t LibrarySettings::*whole = nullptr;
    std::int32_t cap = std::numeric_limits<std::int32_t>::max();
    TrustedProxies LibrarySettings::*list = nullptr;
};

// Every key of [Option], and how its value is kept.
const Key kKeys[] = {
    {"WANT_LOG", Kind::LowByte, &LibrarySettings::WANT_LOG},
    {"SHOW_DEBUG", Kind::LowByte, &LibrarySettings::SHOW_DEBUG},
    {"SAVE_DATA", Kind::LowByte, &LibrarySettings::SAVE_DATA},
    {"SOCKET_TIMEOUT", Kind::Any, nullptr, &LibrarySettings::SOCKET_TIMEOUT},
    {"MAX_PACKET_SIZE", Kind::Positive, nullptr, &LibrarySettings::MAX_PACKET_SIZE,
     LibrarySettings::kMaxPacketSizeLimit},
    {"MAX_CONNECTIONS", Kind::Positive, nullptr, &LibrarySettings::MAX_CONNECTIONS},
    {"MAX_PACKET_MEMORY", Kind::Positive, nullptr, &LibrarySettings::MAX_PACKET_MEMORY},
    {"MAX_CONNECTIONS_PER_ADDRESS", Kind::NonNegative, nullptr,
     &LibrarySettings::MAX_CONNECTIONS_PER_ADDRESS},
    {"TRUSTED_PROXIES", Kind::AddressList, nullptr, nullptr, 0, &LibrarySettings::TRUSTED_PROXIES},
};

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), b.size()) == 0;
}

// A text from the file as a finding shows it: control characters as % and two
// hex digits, a long one shortened.
std::string shown(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < kQuotedValueLength; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (text.size() > kQuotedValueLength)
        out += "...";
    return out;
}

std::string quoted(std::string_view text)
{
    return "\"" + shown(text) + "\"";
}

std::string rangeText(const Key& key)
{
    switch (key.kind) {
    case Kind::Positive:
        return "a whole number from 1 to " + std::to_string(key.cap);
    case Kind::NonNegative:
        return "a whole number from 0 to " +
               std::to_string(std::numeric_limits<std::int32_t>::max());
    default:
        return "a whole number (decimal, or hexadecimal after 0x or $)";
    }
}

class Reader
{
public:
    explicit Reader(std::string fileName) : m_fileName(std::move(fileName)) {}

    void line(std::size_t number, std::string_view text)
    {
        m_line = number;
        text = trimmed(text);
        if (text.empty() || text.starts_with(';'))
            return;
        if (text.starts_with('[')) {
            section(text);
            return;
        }
        const std::size_t equals = text.find('=');
        if (m_section == Section::Unknown)
            return; // told once, at its name
        if (equals == std::string_view::npos) {
            tell(quoted(text) + " is not a setting (name=value) and is ignored");
            return;
        }
        const std::string_view name = trimmed(text.substr(0, equals));
        if (m_section == Section::None) {
            tell(quoted(name) + " stands before [" + std::string(LibrarySettings::kSection) +
                 "] and is ignored");
            return;
        }
        entry(name, trimmed(withoutComment(text.substr(equals + 1))));
    }

    LibrarySettingsReading done() { return std::move(m_reading); }

    void tellUnreadable(const std::string& reason)
    {
        m_reading.findings.push_back(m_fileName + " cannot be read (" + reason +
                                     "); the defaults are used");
    }

private:
    enum class Section
    {
        None,    // before the first section
        Option,  // the library's
        Unknown, // another, told at its name; its lines are ignored
    };

    void tell(const std::string& what)
    {
        m_reading.findings.push_back(m_fileName + " line " + std::to_string(m_line) + ": " + what);
    }

    void section(std::string_view text)
    {
        const std::size_t end = text.find(']');
        const std::string option = "[" + std::string(LibrarySettings::kSection) + "]";
        if (end == std::string_view::npos) {
            m_section = Section::Unknown;
            tell(quoted(text) + " is not a section name such as " + option +
                 "; the lines up to the next section are ignored");
            return;
        }
        const std::string_view name = text.substr(1, end - 1);
        if (equalsNoCase(name, LibrarySettings::kSection)) {
            m_section = Section::Option;
            return;
        }
        m_section = Section::Unknown;
        tell("unknown section [" + shown(name) +
             "] is ignored with its lines (the settings are read from " + option + ")");
    }

    // An inline comment: ";" after a blank, as in "SAVE_DATA=1 ; raw files".
    static std::string_view withoutComment(std::string_view value)
    {
        for (std::size_t i = 1; i < value.size(); ++i)
            if (value[i] == ';' && std::isspace(static_cast<unsigned char>(value[i - 1])))
                return value.substr(0, i);
        return value;
    }

    void entry(std::string_view name, std::string_view value)
    {
        const auto key = std::find_if(std::begin(kKeys), std::end(kKeys),
                                      [&](const Key& k) { return equalsNoCase(name, k.name); });
        if (key == std::end(kKeys)) {
            tell("unknown setting " + quoted(name) + " in [" +
                 std::string(LibrarySettings::kSection) + "] is ignored");
            return;
        }
        const auto index = static_cast<std::size_t>(key - std::begin(kKeys));
        // The first occurrence of a key wins, as the system's profile reader has it.
        if (m_firstLine[index] != 0) {
            tell(std::string(key->name) + " is given again (first on line " +
                 std::to_string(m_firstLine[index]) + "); the first value is kept");
            return;
        }
        m_firstLine[index] = m_line;
        take(*key, value);
    }

    void take(const Key& key, std::string_view value)
    {
        LibrarySettings& s = m_reading.settings;
        if (key.kind == Kind::AddressList) {
            s.*key.list = TrustedProxies::parse(value);
            for (const std::string& entry : (s.*key.list).rejected())
                tell(std::string(key.name) + " entry " + quoted(std::string_view(entry)) +
                     " is no address or range; it is left out");
            return;
        }
        const LibrarySettings defaults;
        const std::optional<std::int32_t> v = parseSettingInteger(value);
        const std::string given = std::string(key.name) + " must be " + rangeText(key) + ", not " +
                                  quoted(value) + "; the default ";
        if (key.kind == Kind::LowByte) {
            if (!v) {
                tell(given + std::to_string(defaults.*key.byte) + " is taken");
                return;
            }
            s.*key.byte = static_cast<std::uint8_t>(*v & 0xFF);
            if (*v < 0 || *v > 0xFF)
                tell(std::string(key.name) + "=" + shown(value) +
                     " counts only its low 8 bits: " + std::to_string(s.*key.byte) + " is taken");
            return;
        }
        const bool fits = v && (key.kind == Kind::Any || (key.kind == Kind::Positive && *v > 0) ||
                                (key.kind == Kind::NonNegative && *v >= 0));
        if (!fits) {
            tell(given + std::to_string(defaults.*key.whole) + " is taken");
            return;
        }
        s.*key.whole = std::min(*v, key.cap);
        if (*v > key.cap)
            tell(std::string(key.name) + " must be at most " + std::to_string(key.cap) + ", not " +
                 quoted(value) + "; " + std::to_string(key.cap) + " is taken");
    }

    std::string m_fileName;
    LibrarySettingsReading m_reading;
    std::size_t m_line = 0;
    Section m_section = Section::None;
    std::size_t m_firstLine[std::size(kKeys)] = {}; // 0: not given yet
};

} // namespace

LibrarySettingsReading readLibrarySettings(const std::string& path)
{
    // Lines are read as the system's profile functions read them: blanks
    // around names and values do not count, "[name]" opens a section, a key
    // runs up to the first "=" (the only separator), and every line stands on
    // its own: an indented line is a key of its own, never the continuation of
    // the one before. A missing file leaves every default and is no finding.
    const std::size_t slash = path.find_last_of('/');
    Reader reader(slash == std::string::npos ? path : path.substr(slash + 1));
    std::error_code ec;
    const auto type = std::filesystem::status(path, ec).type();
    if (type == std::filesystem::file_type::not_found)
        return reader.done();
    std::ifstream in;
    if (type == std::filesystem::file_type::regular)
        in.open(path, std::ios::binary);
    if (!in.is_open()) {
        reader.tellUnreadable(type == std::filesystem::file_type::regular ? std::strerror(errno)
                                                                          : "not a file");
        return reader.done();
    }
    std::string line;
    for (std::size_t number = 1; std::getline(in, line); ++number) {
        std::string_view text = line;
        if (number == 1 && text.starts_with(kUtf8ByteOrderMark))
            text.remove_prefix(kUtf8ByteOrderMark.size());
        reader.line(number, text);
    }
    return reader.done();
}

LibrarySettings LibrarySettings::load(const std::string& path)
{
    return readLibrarySettings(path).settings;
}

} // namespace kavrel
