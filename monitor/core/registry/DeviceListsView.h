// What the window does to mirror the device lists into its two drop-down
// lists. DeviceLists calls it after each change, on the user-interface thread;
// texts are Windows-1252 bytes, converted by the window.
#pragma once

#include <string_view>

namespace monitor {

enum class LocateStyle
{
    SelectionOnly, // a choice among the items, no free text
    FreeText,      // an edit field that shows any text
};

class DeviceListsView
{
public:
    virtual ~DeviceListsView() = default;
    // Appended as the last item of both lists.
    virtual void itemAppended(std::string_view key, std::string_view locateText) = 0;
    // Item removed from both lists.
    virtual void itemRemoved(int position) = 0;
    // The selected position of both lists, or DeviceLists::kNone.
    virtual void selectionChanged(int position) = 0;
    // Enabled state, style and shown text of the visible list.
    virtual void locateIdChanged(bool enabled, LocateStyle style, std::string_view shownText) = 0;
};

} // namespace monitor
