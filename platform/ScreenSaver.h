// The display's screen saver, switched off for good while the station watches:
// an operator must see an alarm without touching the mouse first.
#pragma once

namespace platform {

// Switches the screen saver of the display off (the setting belongs to the
// display, like the system-wide switch of a desktop). Does nothing and returns
// false where there is no display to talk to.
bool switchScreenSaverOff();

} // namespace platform
