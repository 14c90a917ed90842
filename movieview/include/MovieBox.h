// A rectangle as the engine takes and gives it: four signed 16-bit values in
// the order top, left, bottom, right, in pixels of the view's client area.
#pragma once

#include <cstdint>

namespace movieview {

struct MovieBox
{
    std::int16_t top = 0;
    std::int16_t left = 0;
    std::int16_t bottom = 0;
    std::int16_t right = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const MovieBox&, const MovieBox&) = default;
};

} // namespace movieview
