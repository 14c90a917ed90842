// Title fragments, lower-casing and the key prefix of the navigation window.
#include "NavigationTitle.h"

namespace monitor {

namespace {

// Windows-1252 capitals outside A to Z and their small letters.
constexpr unsigned char kCapitalS = 0x8A, kSmallS = 0x9A;   // S with caron
constexpr unsigned char kCapitalOE = 0x8C, kSmallOE = 0x9C; // OE ligature
constexpr unsigned char kCapitalZ = 0x8E, kSmallZ = 0x9E;   // Z with caron
constexpr unsigned char kCapitalYDiaeresis = 0x9F, kSmallYDiaeresis = 0xFF;
constexpr unsigned char kFirstAccentedCapital = 0xC0, kLastAccentedCapital = 0xDE;
constexpr unsigned char kMultiplicationSign = 0xD7;
constexpr unsigned char kCaseDistance = 0x20;

char lower(char c)
{
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') ||
        (b >= kFirstAccentedCapital && b <= kLastAccentedCapital && b != kMultiplicationSign))
        return static_cast<char>(b + kCaseDistance);
    switch (b) {
    case kCapitalS:
        return static_cast<char>(kSmallS);
    case kCapitalOE:
        return static_cast<char>(kSmallOE);
    case kCapitalZ:
        return static_cast<char>(kSmallZ);
    case kCapitalYDiaeresis:
        return static_cast<char>(kSmallYDiaeresis);
    default:
        return c;
    }
}

} // namespace

std::string windows1252ToLower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = lower(c);
    return out;
}

std::optional<std::string> navigationTitleOf(std::string_view title)
{
    std::string lowered = windows1252ToLower(title);
    for (std::string_view fragment : kNavigationTitleFragments) {
        if (lowered.find(fragment) == std::string::npos)
            continue;
        if (const auto end = lowered.find(kNavigationKeyEnd); end != std::string::npos)
            lowered.erase(0, end + kNavigationKeyEnd.size());
        return lowered;
    }
    return std::nullopt;
}

std::string keyedNavigationTitle(std::string_view key, std::string_view navigationTitle)
{
    std::string out = "(";
    out += key;
    out += kNavigationKeyEnd;
    out += navigationTitle;
    return out;
}

} // namespace monitor
