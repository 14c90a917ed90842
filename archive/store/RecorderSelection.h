// Which recorders the station lists and which one of them is selected, as the
// archive needs to know it: only the selected recorder's clips are shown, and
// the latest clips of recorders no longer listed may be forgotten. The
// window's device lists answer it.
#pragma once

#include <string>
#include <string_view>

namespace monitor {

class RecorderSelection
{
public:
    virtual ~RecorderSelection() = default;
    // The selected recorder's key; empty when none is selected.
    virtual const std::string& selectedKey() const = 0;
    // Whether a recorder of this key is listed.
    virtual bool isListed(std::string_view key) const = 0;
};

} // namespace monitor
