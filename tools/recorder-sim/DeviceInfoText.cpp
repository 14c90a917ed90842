#include "DeviceInfoText.h"

#include "TextCodec.h"

namespace recorder {

std::optional<std::string> deviceInfoProblem(const DeviceInfo& info)
{
    for (std::size_t i = 0; i < kIdField; ++i)
        if (info.fields[i].find(',') != std::string::npos)
            return "device field " + std::to_string(i + 1) + " must not contain ',': \"" +
                   info.fields[i] + "\"";
    return std::nullopt;
}

void appendDeviceInfoText(std::string& out, const DeviceInfo& info)
{
    for (std::size_t i = 0; i < kDeviceInfoFieldCount; ++i) {
        if (i > 0)
            out += ',';
        out += platform::utf8ToWindows1252(info.fields[i]);
    }
}

std::string deviceKey(const DeviceInfo& info)
{
    return platform::utf8ToWindows1252(info.fields[kSerialField]) + "_" +
           platform::utf8ToWindows1252(info.fields[kIdField]);
}

} // namespace recorder
