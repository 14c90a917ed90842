// The value of one hex digit (either case), as text escapes and checksums
// write them.
#pragma once

#include <cstdint>

// The digit's value, or -1 when the character is not a hex digit.
inline constexpr int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

inline constexpr int hexValue(std::uint8_t c)
{
    return hexValue(static_cast<char>(c));
}
