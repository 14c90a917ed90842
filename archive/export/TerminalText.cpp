#include "TerminalText.h"

#include <cstdint>
#include <cstdio>

namespace archive {

namespace {

constexpr char32_t kLastC0 = 0x1F;
constexpr char32_t kDelete = 0x7F;
constexpr char32_t kFirstC1 = 0x80;
constexpr char32_t kLastC1 = 0x9F;
constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kLastSurrogate = 0xDFFF;

// Characters that change how a terminal lays out the text after them.
bool isLayoutControl(char32_t c)
{
    return (c >= kFirstC1 && c <= kLastC1) || c == 0x200E || c == 0x200F || // marks
           c == 0x2028 || c == 0x2029 ||                                    // separators
           (c >= 0x202A && c <= 0x202E) ||                                  // embeddings
           (c >= 0x2066 && c <= 0x2069);                                    // isolates
}

// "\\xNN": a byte, or a control character below 0x80.
void appendByteEscape(std::string& out, unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", value);
    out += text;
}

// "\\uNNNN": a character that is valid but not to be shown as itself.
void appendCharacterEscape(std::string& out, unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "\\u%04X", value);
    out += text;
}

// The length of the valid UTF-8 sequence at the front of text and its code
// point; 0 when the front is not one (a stray, cut, overlong or surrogate).
std::size_t decodeUtf8(std::string_view text, char32_t& c)
{
    const auto lead = static_cast<std::uint8_t>(text[0]);
    std::size_t length = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<std::uint8_t>(text[i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < least || c > kLastCodePoint || (c >= kFirstSurrogate && c <= kLastSurrogate))
        return 0;
    return length;
}

} // namespace

std::string terminalText(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8(utf8, c);
        if (length == 0) {
            appendByteEscape(out, static_cast<std::uint8_t>(utf8[0]));
            utf8.remove_prefix(1);
            continue;
        }
        if (c <= kLastC0 || c == kDelete)
            appendByteEscape(out, static_cast<unsigned>(c));
        else if (isLayoutControl(c))
            appendCharacterEscape(out, static_cast<unsigned>(c));
        else if (c == '\\')
            out += "\\\\";
        else
            out.append(utf8.substr(0, length));
        utf8.remove_prefix(length);
    }
    return out;
}

} // namespace archive
