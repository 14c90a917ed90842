// Placement of a movie in the client area and the keep-scale bars.
#include "MoviePlacement.h"

#include <gtest/gtest.h>

using namespace movieview;

namespace {

struct PlacementCase
{
    const char* legend;
    ClientRect client;
    std::int16_t width, height;
    bool keepScale, hasPicture;
    MovieBox box; // top, left, bottom, right
    std::optional<std::int32_t> barOffset;
};

const PlacementCase kCases[] = {
    {"176x144 in 320x240: bars left and right",
     {0, 0, 320, 240},
     176,
     144,
     true,
     true,
     {0, 14, 240, 307},
     14},
    {"352x144 in 320x240: bars top and bottom",
     {0, 0, 320, 240},
     352,
     144,
     true,
     true,
     {55, 0, 185, 320},
     -55},
    {"160x120 in 320x240: same shape, no bars",
     {0, 0, 320, 240},
     160,
     120,
     true,
     true,
     {0, 0, 240, 320},
     0},
    {"stretched: whole area, bars untouched",
     {0, 0, 320, 240},
     176,
     144,
     false,
     true,
     {0, 0, 240, 320},
     std::nullopt},
    {"no picture: whole area, bars untouched",
     {0, 0, 320, 240},
     0,
     0,
     true,
     false,
     {0, 0, 240, 320},
     std::nullopt},
    {"offset client rectangle", {10, 20, 330, 260}, 176, 144, true, true, {20, 24, 260, 317}, 14},
    {"odd remainder rounds the bar up",
     {0, 0, 322, 240},
     176,
     144,
     true,
     true,
     {0, 15, 240, 308},
     15},
    {"empty client area", {0, 0, 0, 0}, 176, 144, true, true, {0, 0, 0, 0}, 0},
    {"zero height picture: no shape, whole area",
     {0, 0, 320, 240},
     176,
     0,
     true,
     true,
     {0, 0, 240, 320},
     std::nullopt},
    {"box beyond 16 bits wraps",
     {0, 0, 40000, 100},
     100,
     100,
     false,
     true,
     {0, 0, 100, static_cast<std::int16_t>(40000 - 65536)},
     std::nullopt},
};

} // namespace

TEST(MoviePlacement, BoxesAndBars)
{
    for (const auto& c : kCases) {
        const MoviePlacement p = placeMovie(c.client, c.width, c.height, c.keepScale, c.hasPicture);
        EXPECT_EQ(p.box.top, c.box.top) << c.legend;
        EXPECT_EQ(p.box.left, c.box.left) << c.legend;
        EXPECT_EQ(p.box.bottom, c.box.bottom) << c.legend;
        EXPECT_EQ(p.box.right, c.box.right) << c.legend;
        EXPECT_EQ(p.barOffset, c.barOffset) << c.legend;
    }
}
