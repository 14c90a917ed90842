#include "EventLine.h"

#include "TextCodec.h"
#include "kavrel_events.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace listenhost {

namespace {

// A connection's name is a device key or an address; this bounds a hostile one.
constexpr std::size_t kNameBytes = 64;

// Bytes that Windows-1252 leaves without a character.
bool isUndefinedInWindows1252(unsigned char b)
{
    return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

void appendHex(std::string& out, unsigned char b)
{
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned>(b));
    out += text;
}

// Escapes what is not printable and converts the rest from Windows-1252.
std::string printable(std::string_view bytes)
{
    std::string out;
    std::string run; // printable Windows-1252 bytes waiting for conversion
    const auto flush = [&] {
        out += platform::windows1252ToUtf8(run);
        run.clear();
    };
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F && !isUndefinedInWindows1252(b) && c != '"' && c != '\\') {
            run.push_back(c);
            continue;
        }
        flush();
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            appendHex(out, b);
            break;
        }
    }
    flush();
    return out;
}

// Up to the first zero byte, within length and limit bytes; cut says whether more was left.
std::string_view zeroEnded(const void* data, std::int32_t length, std::size_t limit, bool& cut)
{
    cut = false;
    if (data == nullptr || length <= 0)
        return {};
    const auto* bytes = static_cast<const char*>(data);
    const auto size = static_cast<std::size_t>(length);
    const void* zero = std::memchr(bytes, 0, size);
    std::size_t n =
        zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - bytes) : size;
    if (n > limit) {
        n = limit;
        cut = true;
    }
    return {bytes, n};
}

} // namespace

bool carriesText(std::int32_t code)
{
    using namespace kavrel::EventCode;
    return code == QUVEX_INFO || code == CMD_GPRMC_DATA || code == CMD_QUVEX_TIME_EVENT ||
           !kavrel::isPacketEvent(code);
}

std::string textPreview(const void* data, std::int32_t length)
{
    bool cut = false;
    const std::string_view text = zeroEnded(data, length, kPreviewBytes, cut);
    return "\"" + printable(text) + "\"" + (cut ? "..." : "");
}

std::string hexPreview(const void* data, std::int32_t length)
{
    if (data == nullptr || length <= 0)
        return {};
    const auto* bytes = static_cast<const unsigned char*>(data);
    const std::size_t n = std::min(static_cast<std::size_t>(length), kHexPreviewBytes);
    std::string out;
    char two[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02X", static_cast<unsigned>(bytes[i]));
        if (i > 0)
            out += ' ';
        out += two;
    }
    if (static_cast<std::size_t>(length) > n)
        out += " ...";
    return out;
}

std::string formatEventLine(const char* text, std::int32_t code, const void* data,
                            std::int32_t length)
{
    std::string line = std::to_string(code) + " " + std::string(kavrel::eventName(code)) + "  ";
    if (text == nullptr) {
        line += "(no name)";
    } else {
        bool cut = false;
        const std::string_view name =
            zeroEnded(text, static_cast<std::int32_t>(std::strlen(text)), kNameBytes, cut);
        line += name.empty() ? std::string("(empty name)") : printable(name) + (cut ? "..." : "");
    }
    line += "  length " + std::to_string(length);
    if (data == nullptr || length <= 0)
        return line;
    line += "  ";
    line += carriesText(code) ? textPreview(data, length) : "hex " + hexPreview(data, length);
    return line;
}

} // namespace listenhost
