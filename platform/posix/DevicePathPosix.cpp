// The "\\.\NAME" device names as paths under the virtual device folder.
#include "DevicePath.h"
#include "Paths.h"

#include <cstdlib>

namespace platform {

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kDeviceFolderName = "vgps";

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
    const std::string runtime = userRuntimeFolder();
    return runtime.empty() ? std::string() : joinPath(runtime, kDeviceFolderName);
}

std::string virtualDevicePath(std::string_view windowsDeviceName)
{
    if (!windowsDeviceName.starts_with(kDevicePrefix))
        return std::string(windowsDeviceName);
    const std::string folder = virtualDeviceFolder();
    if (folder.empty())
        return {}; // no folder of the user's: no device
    return joinPath(folder, windowsDeviceName.substr(kDevicePrefix.size()));
}

} // namespace platform
