// A recorder's position text as the GPS forwarder judges it before the port:
// whatever is accepted is one sentence that navigation software reads as one
// line (a "$" start, printable ASCII, no second start, at most 82 bytes with
// CR LF, a matching checksum when there is one), and nothing that holds a
// line break or a wrong checksum is accepted.
#include "FuzzCheck.h"
#include "NmeaSentence.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

using namespace nmea;

namespace {

bool printable(char c)
{
    return c >= 0x20 && c <= 0x7E;
}

// The checksum the sentence carries matches its body.
bool checksumMatches(std::string_view sentence)
{
    const std::size_t star = sentence.find('*');
    std::uint8_t sum = 0;
    for (char c : sentence.substr(1, star - 1))
        sum ^= static_cast<std::uint8_t>(c);
    const std::string digits(sentence.substr(star + 1));
    return digits.size() == 2 && std::stoi(digits, nullptr, 16) == sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!isWellFormedNmeaSentence(text))
        return 0;

    FUZZ_CHECK(text.size() >= 2 && text.size() + 2 <= kMaxNmeaSentenceLength);
    FUZZ_CHECK(text[0] == '$');
    FUZZ_CHECK(std::all_of(text.begin(), text.end(), printable));
    FUZZ_CHECK(std::count(text.begin(), text.end(), '$') == 1);
    FUZZ_CHECK(text.find('!') == std::string::npos);
    const std::size_t stars = static_cast<std::size_t>(std::count(text.begin(), text.end(), '*'));
    FUZZ_CHECK(stars <= 1);
    if (stars == 1) {
        FUZZ_CHECK(text.find('*') == text.size() - 3);
        FUZZ_CHECK(checksumMatches(text));
        // Any other checksum is refused.
        std::string other = text;
        other.back() = other.back() == '0' ? '1' : '0';
        FUZZ_CHECK(!isWellFormedNmeaSentence(other));
    }
    // A second line after it, or a line end of its own, is refused.
    FUZZ_CHECK(!isWellFormedNmeaSentence(text + "\r\n" + text));
    FUZZ_CHECK(!isWellFormedNmeaSentence(text + "\n"));
    return 0;
}
