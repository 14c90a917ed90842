// The header check, the acceptance rule's corners and the acknowledgement bytes.
#include "LinkProtocol.h"

#include <gtest/gtest.h>

using namespace kavrel;

namespace {

HeaderBytes bytes(std::initializer_list<int> list)
{
    HeaderBytes b{};
    std::size_t i = 0;
    for (int v : list)
        b[i++] = static_cast<std::uint8_t>(v);
    return b;
}

struct AcceptanceCase
{
    const char* legend;
    HeaderBytes header;
    bool accepted;
};

const AcceptanceCase kAcceptance[] = {
    {"command 0, size 16, check 0x10", bytes({0, 0, 0x10, 0, 0, 0, 0x10, 0}), true},
    {"check byte right but byte 7 set", bytes({0, 0, 0x10, 0, 0, 0, 0x10, 1}), false},
    {"check byte wrong", bytes({0, 0, 0x10, 0, 0, 0, 0x11, 0}), false},
    {"check value 0, size not 0, garbage check word", bytes({0x11, 0, 0x11, 0, 0, 0, 0xAB, 0xCD}),
     true},
    {"check value 0, size not 0, byte 7 set", bytes({0x05, 0, 0x05, 0, 0, 0, 0, 0x01}), true},
    {"check value 0, size 0, check word 0", bytes({0, 0, 0, 0, 0, 0, 0, 0}), true},
    {"check value 0, size 0, check word not 0", bytes({0, 0, 0, 0, 0, 0, 0, 1}), false},
    {"check value 0, size 0 but command cancels", bytes({0x22, 0x22, 0, 0, 0, 0, 0x55, 0}), false},
    {"undefined command 5 with right check", bytes({5, 0, 3, 0, 0, 0, 6, 0}), true},
    {"size in the high byte", bytes({2, 0, 0, 0, 0, 0x80, 0x82, 0}), true},
};

} // namespace

TEST(LinkProtocol, AcceptanceRule)
{
    for (const auto& c : kAcceptance)
        EXPECT_EQ(isHeaderAccepted(c.header), c.accepted) << c.legend;
}

TEST(LinkProtocol, DecodesLittleEndianFields)
{
    const auto h = decodeHeader(bytes({0x01, 0x01, 0x78, 0x56, 0x34, 0x12, 0xAA, 0xBB}));
    EXPECT_EQ(h.command, 0x0101);
    EXPECT_EQ(h.size, 0x12345678u);
    EXPECT_EQ(h.check, 0xBBAA);
}

TEST(LinkProtocol, EncodedHeadersPassTheirOwnCheck)
{
    for (std::uint16_t command : {0, 2, 6, 0xF0, 0x101, 0x104, 0xFFFF})
        for (std::uint32_t size : {1u, 16u, 200000u, 0xFFFFFFFFu}) {
            const auto b = encodeHeader(command, size);
            EXPECT_TRUE(isHeaderAccepted(b)) << command << " " << size;
            EXPECT_EQ(decodeHeader(b).command, command);
            EXPECT_EQ(decodeHeader(b).size, size);
            EXPECT_EQ(b[7], 0);
        }
}

TEST(LinkProtocol, AcknowledgementCarriesCommandHighByteFirst)
{
    EXPECT_EQ(encodeAck(0x0101), (AckBytes{0x00, 0x01, 0x01, 0x01}));
    EXPECT_EQ(encodeAck(0x0002), (AckBytes{0x00, 0x01, 0x00, 0x02}));
    EXPECT_EQ(encodeAck(0x0000), (AckBytes{0x00, 0x01, 0x00, 0x00}));
    EXPECT_EQ(encodeAck(0x00F0), (AckBytes{0x00, 0x01, 0x00, 0xF0}));
    EXPECT_EQ(encodeAck(0x1234), (AckBytes{0x00, 0x01, 0x12, 0x34}));
}

TEST(LinkProtocol, EventCodesAreTheWireValues)
{
    EXPECT_EQ(EventCode::CMD_MPEG4_I_4in1, 240);
    EXPECT_EQ(EventCode::CMD_MPEG4_I_CH1, 257);
    EXPECT_EQ(EventCode::CMD_MPEG4_I_CH4, 260);
    EXPECT_EQ(EventCode::CONNECTION_OPENED, 61440);
    EXPECT_EQ(EventCode::DATA_RECEIVED, 61443);
    EXPECT_EQ(eventName(5), "UNKNOWN");
}
