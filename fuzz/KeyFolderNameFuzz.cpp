// A recorder key (any bytes but a zero, as the wire can bring) as the archive
// names its folder: always exactly one plain, visible path component within
// the file system's name limit, valid UTF-8 without control characters;
// reading the name back gives the key, except for a shortened long key, whose
// name says so; and keys that differ get names that differ.
//
// Input: one byte that sets the name limit (40 + the byte: 40 to 295; 0xD7
// gives Linux's 255), then the key up to its first zero byte.
#include "ArchiveNames.h"
#include "FuzzCheck.h"
#include "TextCodec.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

using namespace archive;

namespace {

constexpr std::size_t kLeastLimit = 40;
constexpr std::string_view kShortenedMark = "%00";

bool isControlByte(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

// A C1 control character (U+0080 to U+009F) in UTF-8.
bool holdsC1Control(std::string_view name)
{
    for (std::size_t i = 0; i + 1 < name.size(); ++i)
        if (static_cast<unsigned char>(name[i]) == 0xC2 &&
            static_cast<unsigned char>(name[i + 1]) <= 0x9F)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t limit = kLeastLimit + data[0];
    std::string_view key(reinterpret_cast<const char*>(data + 1), size - 1);
    key = key.substr(0, key.find('\0'));

    const std::string name = deviceFolderName(key, limit);
    FUZZ_CHECK(!name.empty() && name.size() <= limit);
    FUZZ_CHECK(name != "." && name != ".." && name.front() != '.');
    FUZZ_CHECK(name.find('/') == std::string::npos);
    FUZZ_CHECK(std::none_of(name.begin(), name.end(),
                            [](char c) { return isControlByte(static_cast<unsigned char>(c)); }));
    FUZZ_CHECK(!holdsC1Control(name));
    FUZZ_CHECK(platform::windows1252ToUtf8(platform::utf8ToWindows1252(name)) == name);

    const bool shortened = name != kShortenedMark && name.find(kShortenedMark) != std::string::npos;
    FUZZ_CHECK(shortened == (deviceFolderName(key, SIZE_MAX).size() > limit));
    const auto keyBack = deviceFolderKey(name);
    if (shortened)
        FUZZ_CHECK(!keyBack);
    else
        FUZZ_CHECK(keyBack && *keyBack == key);

    // One more byte, or one byte less, is another key and another folder.
    FUZZ_CHECK(deviceFolderName(std::string(key) + "x", limit) != name);
    if (!key.empty())
        FUZZ_CHECK(deviceFolderName(key.substr(0, key.size() - 1), limit) != name);
    return 0;
}
