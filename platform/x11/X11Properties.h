// One reader for X11 window properties: it checks the returned type and
// format, copies the items out and frees Xlib's buffer with XFree. Items of
// format 32 arrive from Xlib as C longs (8 bytes here), whatever the server
// stored, so lists of windows are read as unsigned long.
#pragma once

#include <X11/Xlib.h>
#include <optional>
#include <string>
#include <vector>

namespace platform::x11 {

// The property's 32-bit items (windows, atoms, cardinals), when it exists with
// that type and format. Run inside an ErrorTrap: the window may be gone.
std::optional<std::vector<unsigned long>> readLongs(Display* display, Window window, Atom property,
                                                    Atom type);

// The property's bytes when it exists with that type and format 8.
std::optional<std::string> readBytes(Display* display, Window window, Atom property, Atom type);

// The property's type and its bytes, whatever the type, when it has format 8.
std::optional<std::pair<Atom, std::string>> readText(Display* display, Window window,
                                                     Atom property);

} // namespace platform::x11
