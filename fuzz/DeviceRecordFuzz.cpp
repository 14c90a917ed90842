// Device-information payloads of any bytes, decoded as the connection decodes
// them: the seven texts must give the text back, and the device key is always
// the second field, "_" and the seventh text.
#include "DeviceRecord.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using kavrel::QUVEX_INFO;

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
    FUZZ_CHECK(lines.front() == text);
    const std::string& seventh = record.texts[6];
    const std::string& key = record.texts[1];
    FUZZ_CHECK(lines.back() == "MACID=" + key);
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
