// What the network scan reads from a command-0 reply, per universal revision,
// and the long frame it sends to a device it found. Layouts from the HART
// command 0 definitions; checksums hand-computed XORs from the delimiter on.

#include "hart/device_identity.h"
#include "hart/frame.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using hart_test::hex;

TEST(DeviceIdentity, FieldsByUniversalRevision) {
    struct Row {
        const char* what;
        const char* data; // after the two status bytes
        std::uint8_t revision;
        std::uint8_t deviceRevision;
        std::uint16_t deviceType;
        bool expanded;
        std::optional<std::uint16_t> manufacturer;
        std::uint32_t deviceId;
        const char* uniqueAddress;
        std::optional<std::uint16_t> distributor = std::nullopt;
    };
    const std::vector<Row> rows{
        {"HART 5: manufacturer and device type in bytes 1 and 2",
         "FE 26 05 05 05 01 01 08 00 01 02 03", 5, 1, 0x05, false, 0x26, 0x010203,
         "26 05 01 02 03"},
        {"HART 6: the same, with bytes 12-16 after them",
         "FE 2A 07 05 06 03 01 08 00 AB CD EF 05 04 00 02 00", 6, 3, 0x07, false, 0x2A, 0xABCDEF,
         "2A 07 AB CD EF"},
        {"HART 7: expanded device type, manufacturer in bytes 17-18",
         "FE 11 B7 05 07 02 03 10 00 3A 5C 91 05 04 00 07 03 00 11 00 11 01", 7, 2, 0x11B7, true,
         0x0011, 0x3A5C91, "11 B7 3A 5C 91", 0x0011},
        {"HART 7 with a 16-bit manufacturer ID, sold under another's label",
         "FE E0 9A 05 07 01 01 08 00 00 00 2A 05 04 00 00 00 60 2C 00 26 00", 7, 1, 0xE09A, true,
         0x602C, 0x00002A, "E0 9A 00 00 2A", 0x0026},
        {"HART 7 cut before its manufacturer ID", "FE 11 B7 05 07 02 03 10 00 3A 5C 91", 7, 2,
         0x11B7, true, std::nullopt, 0x3A5C91, "11 B7 3A 5C 91"},
    };
    for (const Row& row : rows) {
        const auto id = hart::identityOf(hex(row.data));
        ASSERT_TRUE(id) << row.what;
        EXPECT_EQ(id->universalRevision, row.revision) << row.what;
        EXPECT_EQ(id->deviceRevision, row.deviceRevision) << row.what;
        EXPECT_EQ(id->deviceType, row.deviceType) << row.what;
        EXPECT_EQ(id->expandedDeviceType, row.expanded) << row.what;
        EXPECT_EQ(id->manufacturer, row.manufacturer) << row.what;
        EXPECT_EQ(id->distributor, row.distributor) << row.what;
        EXPECT_EQ(id->deviceId, row.deviceId) << row.what;
        const auto address = hex(row.uniqueAddress);
        EXPECT_EQ(std::vector<std::uint8_t>(id->uniqueAddress.begin(), id->uniqueAddress.end()),
                  address)
            << row.what;
    }
}

TEST(DeviceIdentity, EveryCutShortReplyIsRefused) {
    const auto whole = hex("FE 26 05 05 05 01 01 08 00 01 02 03");
    for (std::size_t n = 0; n < whole.size(); ++n)
        EXPECT_FALSE(hart::identityOf(std::span(whole).first(n))) << n << " bytes";
    auto noExpansion = whole;
    noExpansion[0] = 0x00;
    EXPECT_FALSE(hart::identityOf(noExpansion));
}

TEST(DeviceIdentity, ManufacturerByNameElseNumber) {
    struct Row {
        std::uint16_t code;
        const char* text;
    };
    const std::vector<Row> rows{
        {38, "Rosemount"}, {17, "Endress_and_Hauser"},
        {55, "Yokogawa"},  {44, "44"},        // a code without a name
        {250, "250"},      {0x602C, "24620"}, // beyond the one-byte table
    };
    for (const Row& row : rows)
        EXPECT_EQ(hart::manufacturerText(row.code), row.text) << row.code;
}

TEST(LongFrameTo, AddressesTheGivenDeviceAndLeavesTheCacheAlone) {
    hart::LinkBuffer b{};
    const auto cache = hex("26 05 01 02 03");
    b[hart::lb::kManufacturer] = cache[0];
    b[hart::lb::kDeviceType] = cache[1];
    for (int i = 0; i < 3; ++i)
        b[hart::lb::kDeviceId + i] = cache[2 + i];

    struct Row {
        const char* what;
        hart::UniqueAddress address;
        std::uint8_t master;
        std::uint8_t command;
        const char* frame;
    };
    const std::vector<Row> rows{
        {"HART 7 device, long tag",
         {0x11, 0xB7, 0x3A, 0x5C, 0x91},
         0x80,
         20,
         "FF FF FF FF FF FF FF FF 82 91 B7 3A 5C 91 14 00 47 "},
        {"HART 5 device, tag",
         {0x26, 0x05, 0x01, 0x02, 0x06},
         0x80,
         13,
         "FF FF FF FF FF FF FF FF 82 A6 05 01 02 06 0D 00 29 "},
        // Bits 7 and 6 of the first byte are the master and burst flags.
        {"flag bits of the first byte dropped",
         {0xD1, 0xB7, 0x3A, 0x5C, 0x91},
         0x00,
         48,
         "FF FF FF FF FF FF FF FF 82 11 B7 3A 5C 91 30 00 E3 "},
    };
    for (const Row& row : rows) {
        const std::size_t length =
            hart::buildLongFrameTo(b, row.master, row.address, row.command, {});
        EXPECT_EQ(hart::hexEcho(hart::transmitFrame(b, length)), row.frame) << row.what;
        EXPECT_EQ(b[hart::lb::kManufacturer], 0x26) << row.what;
        EXPECT_EQ(b[hart::lb::kDeviceType], 0x05) << row.what;
        EXPECT_EQ(b[hart::lb::kDeviceId], 0x01) << row.what;
        EXPECT_EQ(b[hart::lb::kDeviceId + 1], 0x02) << row.what;
        EXPECT_EQ(b[hart::lb::kDeviceId + 2], 0x03) << row.what;
    }
}

} // namespace
