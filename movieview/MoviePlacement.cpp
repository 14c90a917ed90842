#include "MoviePlacement.h"

namespace movieview {

namespace {

// 32-bit results that wrap as the machine's integers do, without undefined
// behaviour: the 64-bit result is taken modulo 2^32.
std::int32_t mul32(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::int64_t>(a) * b);
}
std::int32_t add32(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::int64_t>(a) + b);
}
std::int32_t sub32(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::int64_t>(a) - b);
}
// Truncates toward zero; the caller never passes 0 as divisor.
std::int32_t div32(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::int64_t>(a) / b);
}

MovieBox toBox(std::int32_t top, std::int32_t left, std::int32_t bottom, std::int32_t right)
{
    return MovieBox{static_cast<std::int16_t>(top), static_cast<std::int16_t>(left),
                    static_cast<std::int16_t>(bottom), static_cast<std::int16_t>(right)};
}

} // namespace

MoviePlacement placeMovie(const ClientRect& client, std::int16_t naturalWidth,
                          std::int16_t naturalHeight, bool keepScale, bool hasPicture)
{
    const std::int32_t L = client.left, T = client.top, R = client.right, B = client.bottom;
    const std::int32_t cw = sub32(R, L), ch = sub32(B, T);
    const std::int32_t w = naturalWidth, h = naturalHeight;

    // A picture with a zero side has no shape to keep: it fills the area.
    if (keepScale && hasPicture && w != 0 && h != 0) {
        if (mul32(ch, w) < mul32(cw, h)) { // the area is wider than the movie
            const std::int32_t sw = div32(mul32(ch, w), h);
            const std::int32_t p = div32(add32(sub32(cw, sw), 1), 2);
            return {toBox(T, add32(L, p), B, add32(add32(L, p), sw)), p};
        }
        const std::int32_t sh = div32(mul32(cw, h), w); // taller, or the same shape
        const std::int32_t p = div32(add32(sub32(ch, sh), 1), 2);
        return {toBox(add32(T, p), L, add32(add32(T, p), sh), R), -p};
    }
    return {toBox(T, L, B, R), std::nullopt};
}

} // namespace movieview
