// What the archive browser's model hands to its views: the two lanes of the
// timeline and what is selected in them.
#pragma once

namespace archive {

enum class Lane
{
    Positions,
    Clips
};

struct Selection
{
    Lane lane = Lane::Positions;
    int index = -1; // into the lane's items in time order; -1: nothing selected

    bool empty() const { return index < 0; }
    bool operator==(const Selection&) const = default;
};

} // namespace archive
