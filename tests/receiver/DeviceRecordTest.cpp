// Decoding of device-information payloads into the record and the device key.
#include "DeviceRecord.h"

#include "PacketDelivery.h"

#include <gtest/gtest.h>
#include <vector>

using namespace kavrel;

namespace {

std::vector<std::uint8_t> packetOf(std::string_view payload)
{
    std::vector<std::uint8_t> p(payload.begin(), payload.end());
    p.push_back(0);
    return p;
}

struct DecodeCase
{
    const char* legend;
    std::string_view payload;
    std::array<const char*, 7> texts; // second text holds the key after decoding
    std::vector<std::string> logLines;
};

const DecodeCase kCases[] = {
    {"seven fields",
     "A,B,C,D,E,F,G",
     {"A", "B_G", "C", "D", "E", "F", "G"},
     {"A,B,C,D,E,F,G", "A", "B", "C", "D", "E", "F", "G", "MACID=B_G"}},
    {"more than seven: the rest stays in the seventh",
     "1,2,3,4,5,6,7,8",
     {"1", "2_7,8", "3", "4", "5", "6", "7,8"},
     {"1,2,3,4,5,6,7,8", "1", "2", "3", "4", "5", "6", "7,8", "MACID=2_7,8"}},
    {"fewer than seven: the last field is the seventh",
     "A,B",
     {"A", "_B", "", "", "", "", "B"},
     {"A,B", "A", "", "", "", "", "", "B", "MACID=_B"}},
    {"empty payload",
     "",
     {"", "_", "", "", "", "", ""},
     {"", "", "", "", "", "", "", "", "MACID=_"}},
    {"empty fields between commas",
     ",,,,,,",
     {"", "_", "", "", "", "", ""},
     {",,,,,,", "", "", "", "", "", "", "", "MACID=_"}},
    {"control characters: kept in the texts, escaped in the log, as is a % that looks escaped",
     "A\tx,B\r\nZ,C,D,E,F,G%0A",
     {"A\tx", "B\r\nZ_G%0A", "C", "D", "E", "F", "G%0A"},
     {"A%09x,B%0D%0AZ,C,D,E,F,G%250A", "A%09x", "B%0D%0AZ", "C", "D", "E", "F", "G%250A",
      "MACID=B%0D%0AZ_G%250A"}},
    {"a % without two hex digits after it stays; DEL is escaped",
     "1,2,3,4,5,6,100% %zz\x7F",
     {"1", "2_100% %zz\x7F", "3", "4", "5", "6", "100% %zz\x7F"},
     {"1,2,3,4,5,6,100% %zz%7F", "1", "2", "3", "4", "5", "6", "100% %zz%7F",
      "MACID=2_100% %zz%7F"}},
};

} // namespace

TEST(DeviceRecord, DecodesFieldsKeyAndLogLines)
{
    for (const auto& c : kCases) {
        auto record = QUVEX_INFO::forAddress("10.1.2.3");
        std::vector<std::string> lines;
        decodeDeviceInfo(packetOf(c.payload), record,
                         [&](std::string_view l) { lines.emplace_back(l); });
        for (std::size_t i = 0; i < 7; ++i)
            EXPECT_EQ(record.texts[i], c.texts[i]) << c.legend << ", text " << i + 1;
        EXPECT_EQ(lines, c.logLines) << c.legend;
        EXPECT_EQ(record.connectionName(), c.texts[1]) << c.legend;
    }
}

TEST(DeviceRecord, ZeroByteInsideThePayloadEndsTheText)
{
    auto record = QUVEX_INFO::forAddress("10.1.2.3");
    std::vector<std::uint8_t> p = packetOf("A,B,C,D,E,F,G");
    p[3] = 0; // "A,B" then a zero byte
    decodeDeviceInfo(p, record, [](std::string_view) {});
    EXPECT_EQ(record.texts[0], "A");
    EXPECT_EQ(record.texts[1], "_B");
    EXPECT_EQ(record.texts[2], "");

    auto leading = QUVEX_INFO::forAddress("10.1.2.3");
    decodeDeviceInfo(packetOf(std::string_view("\0A,B", 4)), leading, [](std::string_view) {});
    EXPECT_EQ(leading.texts[1], "_");
}

TEST(DeviceRecord, KeepsWindows1252BytesAsTheyCame)
{
    auto record = QUVEX_INFO::forAddress("10.1.2.3");
    decodeDeviceInfo(packetOf("A,B\xE9\x92,C,D,E,F,Z\xFC"), record, [](std::string_view) {});
    EXPECT_EQ(record.texts[1], "B\xE9\x92_Z\xFC");
}

namespace {
struct Report
{
    std::string text;
    std::int32_t code;
    std::vector<std::uint8_t> data;
};
std::vector<Report>* g_reports = nullptr;
std::int32_t recordReport(const char* text, std::int32_t code, const void* data,
                          std::int32_t length)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    g_reports->push_back({text, code, {bytes, bytes + length}});
    return 0;
}
} // namespace

TEST(PacketDelivery, NamesEventsByAddressThenByTheLatestKey)
{
    std::vector<Report> reports;
    g_reports = &reports;
    auto record = QUVEX_INFO::forAddress("10.1.2.3");
    const auto quiet = [](std::string_view) {};
    const auto position = packetOf("$GPRMC");
    const auto first = packetOf("A,B,C,D,E,F,G");
    const auto second = packetOf("A,X,C,D,E,F,G");

    deliverPacket(encodeHeader(2, 6), record, position, recordReport, quiet);
    deliverPacket(encodeHeader(0, 13), record, first, recordReport, quiet);
    deliverPacket(encodeHeader(2, 6), record, position, recordReport, quiet);
    deliverPacket(encodeHeader(0, 13), record, second, recordReport, quiet);
    deliverPacket(encodeHeader(0x101, 6), record, position, recordReport, quiet);
    deliverPacket(encodeHeader(5, 6), record, position, nullptr, quiet); // no callback: nothing

    ASSERT_EQ(reports.size(), 5u);
    EXPECT_EQ(reports[0].text, "10.1.2.3");
    EXPECT_EQ(reports[1].text, "B_G") << "the login event itself carries the new key";
    EXPECT_EQ(reports[1].code, 0);
    EXPECT_EQ(reports[1].data, first) << "data is the undecoded payload with its zero byte";
    EXPECT_EQ(reports[1].data.size(), 14u);
    EXPECT_EQ(reports[2].text, "B_G");
    EXPECT_EQ(reports[3].text, "X_G") << "a second record replaces the key";
    EXPECT_EQ(reports[4].text, "X_G");
    EXPECT_EQ(reports[4].code, 0x101);
    g_reports = nullptr;
}
