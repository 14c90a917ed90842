// A slot keeps every byte of an event, whatever its size, replaces only the
// bytes the event brings, and keeps the key's bytes as they came.
#include "RAWDATA.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

using namespace monitor;

namespace {

using Bytes = std::vector<std::uint8_t>;

bool allEqual(const Bytes& data, std::size_t from, std::size_t to, std::uint8_t value)
{
    return std::all_of(data.begin() + static_cast<std::ptrdiff_t>(from),
                       data.begin() + static_cast<std::ptrdiff_t>(to),
                       [value](std::uint8_t b) { return b == value; });
}

struct SizeCase
{
    const char* legend;
    std::size_t previous; // bytes of the event the slot held before
    std::size_t next;     // bytes of the event written over it
};

const SizeCase kSizeCases[] = {
    {"length 0 keeps the previous event's bytes", 19, 0},
    {"a shorter event leaves the tail of the longer one", 100, 10},
    {"exactly the data area", 0, RAWDATA::DataAreaSize},
    {"one byte more than the data area is kept whole", 0, RAWDATA::DataAreaSize + 1},
    {"a 300 000-byte clip is kept whole", 0, 300000},
    {"after a long clip, a short event keeps the grown area", 300000, 5},
};

} // namespace

TEST(RAWDATA, StartsWithAZeroedDataArea)
{
    const RAWDATA slot;
    EXPECT_TRUE(slot.Key.empty());
    EXPECT_EQ(slot.Length, 0);
    ASSERT_EQ(slot.Data.size(), RAWDATA::DataAreaSize);
    EXPECT_TRUE(allEqual(slot.Data, 0, slot.Data.size(), 0));
}

TEST(RAWDATA, ReplacesOnlyTheEventsBytesAndKeepsEveryOne)
{
    for (const SizeCase& c : kSizeCases) {
        SCOPED_TRACE(c.legend);
        RAWDATA slot;
        slot.assign("before", 2, Bytes(c.previous, 0xAA));
        slot.assign("after", 240, Bytes(c.next, 0x55));

        EXPECT_EQ(slot.Key, "after");
        EXPECT_EQ(slot.Code, 240);
        EXPECT_EQ(slot.Length, static_cast<std::int32_t>(c.next));
        ASSERT_GE(slot.Data.size(), std::max({c.previous, c.next, RAWDATA::DataAreaSize}));
        EXPECT_TRUE(allEqual(slot.Data, 0, c.next, 0x55));
        if (c.previous > c.next) {
            EXPECT_TRUE(allEqual(slot.Data, c.next, c.previous, 0xAA));
        }
        EXPECT_EQ(slot.bytes().size(), c.next);
    }
}

TEST(RAWDATA, KeepsTheKeysBytesAsTheyCame)
{
    struct KeyCase
    {
        const char* legend;
        const char* text;
        std::string key;
    };
    const KeyCase cases[] = {
        {"Windows-1252 letters stay single bytes", "M\xC4\xD6\xDC_\x80\xFF",
         "M\xC4\xD6\xDC_\x80\xFF"},
        {"a dotted address before the device record", "192.168.1.20", "192.168.1.20"},
        {"no text gives an empty key", nullptr, ""},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.legend);
        RAWDATA slot;
        slot.assign("previous key", 0, {});
        slot.assign(c.text, 0, {});
        EXPECT_EQ(slot.Key, c.key);
    }
}
