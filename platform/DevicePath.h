// Where the station finds the devices that its Windows-born design names with
// the "\\.\NAME" device syntax, such as the virtual GPS port "\\.\VGPSIn".
//
// "\\.\NAME" is <device folder>/NAME. The device folder is $VGPS_DIR when that
// is set and not empty, else "vgps" in the user's runtime folder (Paths.h):
// $XDG_RUNTIME_DIR/vgps, else ~/.cache/tessaro-<host name>/vgps.
// scripts/vgps makes its pty pair in the same folder by the same rule.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The folder described above, without a trailing separator; empty when the
// user has no runtime folder.
std::string virtualDeviceFolder();

// The path of a "\\.\NAME" device (empty when there is no device folder);
// any other name is returned unchanged.
std::string virtualDevicePath(std::string_view windowsDeviceName);

} // namespace platform
