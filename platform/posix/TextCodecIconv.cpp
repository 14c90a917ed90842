// Windows-1252 <-> UTF-8 through the C library's iconv. A conversion
// descriptor holds state, so each call opens its own and shares nothing.
#include "TextCodec.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace platform {

namespace {

constexpr const char* kWindows1252 = "WINDOWS-1252";
constexpr const char* kUtf8 = "UTF-8";
constexpr char kReplacement = '?';
// Output grows in steps of this many bytes when iconv runs out of room.
constexpr std::size_t kOutputStep = 256;

// The byte values that Windows-1252 leaves undefined; they map to U+0080 + n.
constexpr std::array<unsigned char, 5> kUndefinedBytes = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

bool isUndefinedByte(unsigned char b)
{
    for (unsigned char u : kUndefinedBytes)
        if (u == b)
            return true;
    return false;
}

class IconvHandle
{
public:
    IconvHandle(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~IconvHandle()
    {
        if (valid())
            iconv_close(m_cd);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// Length of the valid UTF-8 sequence at the front of s, or 0 when it is not one
// (overlong forms, surrogates and values above U+10FFFF included).
std::size_t validUtf8Length(std::string_view s, std::uint32_t& codePoint)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char b = byte(i);
        const unsigned char min = i == 1 ? low : 0x80;
        const unsigned char max = i == 1 ? high : 0xBF;
        if (b < min || b > max)
            return 0;
        codePoint = (codePoint << 6) | (b & 0x3Fu);
    }
    return length;
}

// Runs iconv over input; on a sequence it cannot convert, onBad appends its
// replacement to out and says how many input bytes it stands for.
template <typename OnBad>
std::string convert(const char* to, const char* from, std::string_view input, OnBad onBad)
{
    std::string out;
    IconvHandle cd(to, from);
    if (!cd.valid()) {
        // No converter installed: keep the 7-bit characters, mark the rest.
        for (char c : input)
            out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : kReplacement);
        return out;
    }
    out.resize(input.size() * 2 + kOutputStep);
    std::size_t used = 0;
    // iconv's interface takes non-const input pointers but does not write through them.
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t result = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (result != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() + inLeft * 2 + kOutputStep);
            continue;
        }
        // EILSEQ or EINVAL (a sequence cut off at the end): replace and go on.
        out.resize(used);
        const std::size_t skipped = onBad(std::string_view(in, inLeft), out);
        used = out.size();
        in += skipped;
        inLeft -= skipped;
        out.resize(used + inLeft * 2 + kOutputStep);
    }
    out.resize(used);
    return out;
}

} // namespace

std::string windows1252ToUtf8(std::string_view bytes)
{
    return convert(kUtf8, kWindows1252, bytes, [](std::string_view rest, std::string& out) {
        const auto b = static_cast<unsigned char>(rest.front());
        if (isUndefinedByte(b)) {
            out.push_back(static_cast<char>(0xC2));
            out.push_back(static_cast<char>(b));
        } else {
            out.push_back(kReplacement);
        }
        return std::size_t{1};
    });
}

std::string utf8ToWindows1252(std::string_view text)
{
    return convert(kWindows1252, kUtf8, text, [](std::string_view rest, std::string& out) {
        std::uint32_t codePoint = 0;
        const std::size_t length = validUtf8Length(rest, codePoint);
        if (length == 0) {
            out.push_back(kReplacement);
            return std::size_t{1};
        }
        if (codePoint >= 0x80 && codePoint <= 0xFF &&
            isUndefinedByte(static_cast<unsigned char>(codePoint)))
            out.push_back(static_cast<char>(codePoint));
        else
            out.push_back(kReplacement);
        return length;
    });
}

} // namespace platform
