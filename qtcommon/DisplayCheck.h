// Whether a program's window has no display to go to. The toolkit cannot open
// a window without one, and then says only that it would help to reinstall the
// program; the programs say what does help instead.
#pragma once

namespace qtcommon {

// True when no display is set and the arguments ask for more than help text
// (for help alone, the offscreen platform is chosen, as no window is needed).
bool displayMissing(int argc, char* argv[]);

} // namespace qtcommon
