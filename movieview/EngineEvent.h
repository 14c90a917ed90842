// An event in the engine's own form, made from a window event of the view, for
// the movie controller to act on.
#pragma once

#include <cstdint>

namespace movieview {

enum class EngineEventKind
{
    Null,      // nothing the controller knows
    Update,    // the window paints: draw the movie
    MouseDown, // a button went down; doubleClick for the second press of a double click
    MouseUp,
    KeyDown,
    KeyUp,
    Activate,
    Deactivate,
};

struct EngineEvent
{
    EngineEventKind what = EngineEventKind::Null;
    std::uint32_t message = 0;  // the window event's type number
    std::uint32_t key = 0;      // for key events: the key's code (0x20 for Space)
    bool autoRepeat = false;    // for key events
    bool doubleClick = false;   // for MouseDown
    bool primaryButton = false; // for mouse events: the left button
    std::uint32_t when = 0;     // milliseconds
    std::uint16_t whereX = 0;   // global position
    std::uint16_t whereY = 0;
};

inline constexpr std::uint32_t kSpaceKey = 0x20;

} // namespace movieview
