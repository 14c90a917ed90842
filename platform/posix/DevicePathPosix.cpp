// The "\\.\NAME" device names as paths under the virtual device folder.
#include "DevicePath.h"
#include "Paths.h"

#include <cstdlib>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

} // namespace

std::string virtualDeviceFolder()
{
    if (std::string dir = environment("VGPS_DIR"); !dir.empty())
        return dir;
    if (std::string runtime = environment("XDG_RUNTIME_DIR"); !runtime.empty())
        return joinPath(runtime, "vgps");
    return "/tmp/vgps-" + std::to_string(::getuid());
}

std::string virtualDevicePath(std::string_view windowsDeviceName)
{
    if (!windowsDeviceName.starts_with(kDevicePrefix))
        return std::string(windowsDeviceName);
    return joinPath(virtualDeviceFolder(), windowsDeviceName.substr(kDevicePrefix.size()));
}

} // namespace platform
