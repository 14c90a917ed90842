// Device-information payloads of any bytes, decoded as the connection decodes
// them: the seven texts must give the text back, and the device key is always
// the second field, "_" and the seventh text. The log lines hold no control
// character, and their escaping gives the text back.
#include "DeviceRecord.h"
#include "FuzzCheck.h"
#include "HexDigit.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using kavrel::QUVEX_INFO;

namespace {

// Reads a log line's text back: "%" and two hex digits stand for that byte.
std::string unescaped(std::string_view line)
{
    std::string out;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '%' && i + 2 < line.size() && hexValue(line[i + 1]) >= 0 &&
            hexValue(line[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(line[i + 1]) * 16 + hexValue(line[i + 2]));
            i += 2;
        } else {
            out += line[i];
        }
    }
    return out;
}

bool hasControlCharacter(std::string_view line)
{
    return std::any_of(line.begin(), line.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The worker's packet buffer: the payload and the zero byte it appends.
    std::vector<std::uint8_t> packet(data, data + size);
    packet.push_back(0);
    const std::string text(packet.begin(), std::find(packet.begin(), packet.end(), 0));

    QUVEX_INFO record = QUVEX_INFO::forAddress("192.168.1.20");
    std::vector<std::string> lines;
    kavrel::decodeDeviceInfo(packet, record,
                             [&](std::string_view line) { lines.emplace_back(line); });

    // The whole text, the seven texts, then the key.
    FUZZ_CHECK(lines.size() == 9);
    for (const auto& line : lines)
        FUZZ_CHECK(!hasControlCharacter(line));
    FUZZ_CHECK(unescaped(lines.front()) == text);
    const std::string& seventh = record.texts[6];
    const std::string& key = record.texts[1];
    FUZZ_CHECK(lines.back() == "MACID=" + kavrel::escapedForLog(key));
    FUZZ_CHECK(unescaped(lines.back()) == "MACID=" + key);
    FUZZ_CHECK(key.size() > seventh.size());
    FUZZ_CHECK(key.compare(key.size() - seventh.size() - 1, std::string::npos, "_" + seventh) == 0);
    FUZZ_CHECK(record.connectionName() == key);

    // The first fields, one per comma up to six, then the seventh text, give
    // the text back; the texts after the fields found are empty.
    const auto commas = static_cast<std::size_t>(std::count(text.begin(), text.end(), ','));
    const std::size_t fields = std::min<std::size_t>(commas, QUVEX_INFO::kFieldCount - 1);
    std::string rebuilt;
    for (std::size_t i = 0; i < fields; ++i)
        rebuilt +=
            (i == 1 ? key.substr(0, key.size() - seventh.size() - 1) : record.texts[i]) + ",";
    rebuilt += seventh;
    FUZZ_CHECK(rebuilt == text);
    for (std::size_t i = fields; i + 1 < QUVEX_INFO::kFieldCount; ++i)
        FUZZ_CHECK(i == 1 ? key == "_" + seventh : record.texts[i].empty());

    // A second device-information packet decodes afresh.
    QUVEX_INFO again = record;
    kavrel::decodeDeviceInfo(packet, again, [](std::string_view) {});
    FUZZ_CHECK(again.texts == record.texts);
    return 0;
}
