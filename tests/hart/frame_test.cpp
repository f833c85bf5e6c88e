// Request frames in the transmit area of the LinkBuffer, and their hex echo.

#include "hart/frame.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using hart::LinkBuffer;
using hart_test::hex;
namespace lb = hart::lb;

std::vector<std::uint8_t> sent(const LinkBuffer& b, std::size_t length) {
    const auto frame = hart::transmitFrame(b, length);
    return {frame.begin(), frame.end()};
}

// DeviceAddress cache as discovery leaves it.
void cacheAddress(LinkBuffer& b, std::uint8_t manufacturer, std::uint8_t type, std::uint8_t id0,
                  std::uint8_t id1, std::uint8_t id2) {
    b[lb::kManufacturer] = manufacturer;
    b[lb::kDeviceType] = type;
    b[lb::kDeviceId] = id0;
    b[lb::kDeviceId + 1] = id1;
    b[lb::kDeviceId + 2] = id2;
}

TEST(MasterBit, OnlyFirstDeviceIsThePrimaryMaster) {
    EXPECT_EQ(hart::masterBitForIndex(0), 0x80);
    EXPECT_EQ(hart::masterBitForIndex(1), 0x00);
    EXPECT_EQ(hart::masterBitForIndex(-1), 0x00); // nothing picked yet
}

TEST(Checksum, IsTheXorOfEveryByte) {
    EXPECT_EQ(hart::checksum({}), 0x00);
    EXPECT_EQ(hart::checksum(hex("FF FF")), 0x00);
    EXPECT_EQ(hart::checksum(hex("82 A6 05 01 02 03 03 00")), 0x22);
}

TEST(LongFrame, CommandThreeToTheCachedAddressAsFirstDevice) {
    LinkBuffer b{};
    cacheAddress(b, 0x26, 0x05, 0x01, 0x02, 0x03);
    const std::size_t length = hart::buildLongFrame(b, 0x80, 3, {});
    ASSERT_EQ(length, 17u);
    EXPECT_EQ(sent(b, length), hex("FF FF FF FF FF FF FF FF 82 A6 05 01 02 03 03 00 22"));
    const std::string echo = hart::hexEcho(hart::transmitFrame(b, length));
    EXPECT_EQ(echo, "FF FF FF FF FF FF FF FF 82 A6 05 01 02 03 03 00 22 ");
    EXPECT_EQ(echo.size(), 51u);
}

TEST(LongFrame, DataBytesFollowTheByteCount) {
    LinkBuffer b{}; // no discovery yet: all-zero long address
    const auto data = hex("20");
    const std::size_t length = hart::buildLongFrame(b, 0x80, 44, data);
    ASSERT_EQ(length, 18u);
    EXPECT_EQ(sent(b, length), hex("FF FF FF FF FF FF FF FF 82 80 00 00 00 00 2C 01 20 0F"));
}

// Bits 7 and 6 of address byte 0 are the master and burst flags: they come
// from the master bit alone, never from the cached manufacturer byte.
TEST(LongFrame, AddressByteZeroKeepsOnlyTheManufacturersLowSixBits) {
    struct Row {
        std::uint8_t master, manufacturer, expected;
    };
    const std::vector<Row> rows{
        {0x80, 0x26, 0xA6}, {0x00, 0x26, 0x26}, // second device: the manufacturer byte alone
        {0x00, 0xA6, 0x26}, {0x00, 0x66, 0x26}, {0x80, 0xE6, 0xA6}, {0x00, 0xFF, 0x3F},
    };
    for (const Row& row : rows) {
        LinkBuffer b{};
        cacheAddress(b, row.manufacturer, 0x05, 0x01, 0x02, 0x03);
        const std::size_t length = hart::buildLongFrame(b, row.master, 3, {});
        const auto frame = sent(b, length);
        EXPECT_EQ(frame[9], row.expected)
            << "master " << int(row.master) << " manufacturer " << int(row.manufacturer);
        EXPECT_EQ(hart::checksum(frame), 0x00) << "checksum must cancel the frame";
    }
}

TEST(LongFrame, LargestFrameFillsTheTransmitAreaAndNoMore) {
    LinkBuffer b{};
    b.fill(0x5A);
    const std::vector<std::uint8_t> data(134, 0x11);
    const std::size_t length = hart::buildLongFrame(b, 0x80, 3, data);
    ASSERT_EQ(length, 151u);
    EXPECT_EQ(b[lb::kTransmit - 1], 0x5A);
    EXPECT_EQ(b[lb::kTransmitEnd - 1], hart::checksum(std::span(b).subspan(132, 150)));
    EXPECT_EQ(b[lb::kEhSaved2145], 0x5A); // the E+H cache right after it survives

    const std::vector<std::uint8_t> tooLong(135, 0x11);
    EXPECT_THROW(hart::buildLongFrame(b, 0x80, 3, tooLong), std::length_error);
}

TEST(ShortFrame, DiscoveryAndDeviceIdQueryFrames) {
    struct Row {
        int preambles;
        std::uint8_t master, poll;
        const char* frame;
    };
    const std::vector<Row> rows{
        {6, 0x80, 0, "FF FF FF FF FF FF 02 80 00 00 82"},
        {6, 0x00, 5, "FF FF FF FF FF FF 02 05 00 00 07"},  // second device: the poll address alone
        {6, 0x80, 15, "FF FF FF FF FF FF 02 8F 00 00 8D"}, // last step of the 0-15 cycle
        {8, 0x80, 0, "FF FF FF FF FF FF FF FF 02 80 00 00 82"},
        {8, 0x00, 3, "FF FF FF FF FF FF FF FF 02 03 00 00 01"},
    };
    for (const Row& row : rows) {
        LinkBuffer b{};
        const std::size_t length = hart::buildShortFrame(b, row.preambles, row.master, row.poll);
        EXPECT_EQ(sent(b, length), hex(row.frame)) << row.frame;
    }
    LinkBuffer b{};
    const std::size_t length = hart::buildShortFrame(b, 6, 0x80, 0);
    EXPECT_EQ(hart::hexEcho(hart::transmitFrame(b, length)), "FF FF FF FF FF FF 02 80 00 00 82 ");
    EXPECT_THROW(hart::buildShortFrame(b, 5, 0x80, 0), std::invalid_argument);
}

TEST(ManualFrame, SixPreamblesTheTypedBytesAndTheirChecksum) {
    LinkBuffer b{};
    std::size_t length = hart::buildManualFrame(b, hex("82 26 05 01 02 03 00 00"));
    EXPECT_EQ(sent(b, length), hex("FF FF FF FF FF FF 82 26 05 01 02 03 00 00 A1"));

    length = hart::buildManualFrame(b, hex("02 80 00 00"));
    EXPECT_EQ(sent(b, length), hex("FF FF FF FF FF FF 02 80 00 00 82"));

    const std::vector<std::uint8_t> fifteen(15, 0x01);
    EXPECT_EQ(hart::buildManualFrame(b, fifteen), 22u);
    EXPECT_EQ(b[lb::kTransmit + 21], 0x01); // fifteen 0x01 bytes XOR to 0x01

    EXPECT_THROW(hart::buildManualFrame(b, {}), std::invalid_argument);
    EXPECT_THROW(hart::buildManualFrame(b, std::vector<std::uint8_t>(16, 0x01)),
                 std::invalid_argument);
}

// A shorter frame overwrites only its own bytes: the rest of the earlier frame
// stays in the transmit area, and neither the receive bytes before 132 nor the
// caches after the frame are touched.
TEST(Frames, ShorterFrameLeavesThePreviousTailInPlace) {
    LinkBuffer b{};
    b.fill(0x5A);
    cacheAddress(b, 0x26, 0x05, 0x01, 0x02, 0x03);
    const std::size_t longLength =
        hart::buildLongFrame(b, 0x80, 35, hex("41 A0 00 00 40 80 00 00"));
    ASSERT_EQ(longLength, 25u);
    const LinkBuffer afterLong = b;

    const std::size_t shortLength = hart::buildShortFrame(b, 6, 0x80, 0);
    ASSERT_EQ(shortLength, 11u);
    EXPECT_EQ(sent(b, shortLength), hex("FF FF FF FF FF FF 02 80 00 00 82"));
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + lb::kTransmit, afterLong.begin()));
    EXPECT_TRUE(std::equal(b.begin() + lb::kTransmit + 11, b.end(),
                           afterLong.begin() + lb::kTransmit + 11));
    EXPECT_EQ(b[lb::kTransmit + 11], 0x01); // the long frame's first device-ID byte
}

TEST(HexEcho, TwoUpperCaseDigitsAndOneSpacePerByte) {
    EXPECT_EQ(hart::hexEcho({}), "");
    EXPECT_EQ(hart::hexEcho(hex("00 0F A0 FF 5c")), "00 0F A0 FF 5C ");
}

} // namespace
