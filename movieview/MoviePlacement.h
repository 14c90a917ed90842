// Where a movie goes in the view's client area, and the bars beside it when
// it keeps its aspect ratio. Signed 32-bit arithmetic throughout, divisions
// truncating toward zero; the box is then taken as 16-bit values.
#pragma once

#include "MovieBox.h"

#include <cstdint>
#include <optional>

namespace movieview {

struct ClientRect
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct MoviePlacement
{
    MovieBox box;
    // The new bar value when the placement computes one: positive, the width of
    // the bars at the left and right; negative, minus the height of the bars at
    // the top and bottom; 0, no bars. None when the bars are left as they were.
    std::optional<std::int32_t> barOffset;
};

MoviePlacement placeMovie(const ClientRect& client, std::int16_t naturalWidth,
                          std::int16_t naturalHeight, bool keepScale, bool hasPicture);

} // namespace movieview
