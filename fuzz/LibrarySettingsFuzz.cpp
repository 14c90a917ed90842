// The settings file from any bytes, read as the library reads it at start,
// and the settings' integer reader on any text.
#include "FuzzCheck.h"
#include "LibrarySettings.h"
#include "ScratchFile.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

// The text of a value the way the settings file writes it in hexadecimal.
std::string hexText(std::int32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ScratchFile::create("fuzz-settings");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto value = kavrel::parseSettingInteger(text)) {
        FUZZ_CHECK(kavrel::parseSettingInteger(std::to_string(*value)) == value);
        FUZZ_CHECK(kavrel::parseSettingInteger(hexText(*value)) == value);
    }

    ScratchFile::write(data, size);
    const kavrel::LibrarySettings settings = kavrel::LibrarySettings::load(ScratchFile::path());
    FUZZ_CHECK(settings.MAX_PACKET_SIZE > 0);
    FUZZ_CHECK(settings.MAX_CONNECTIONS > 0);
    return 0;
}
