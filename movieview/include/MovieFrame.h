// One decoded picture in 32-bit native-endian 0xffRRGGBB pixels, with the movie
// time at which it is due. Plain bytes: whoever shows it wraps them in its own
// image type.
#pragma once

#include <cstdint>
#include <vector>

namespace movieview {

struct MovieFrame
{
    int width = 0;
    int height = 0;
    int stride = 0; // bytes per row, padded beyond width x 4
    std::int64_t timeMs = 0;
    std::vector<std::uint8_t> pixels;

    bool valid() const { return width > 0 && height > 0 && !pixels.empty(); }
};

} // namespace movieview
