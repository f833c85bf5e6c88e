// Device variable commands 9, 33, 54, 50 and 51, the variable status byte
// and typed variable codes. Replies are byte images worked by hand from the
// commands' layouts; each float stands beside its bytes. The command 9
// image was also read back by Wireshark's HART-IP dissector (tshark), which
// shows the same slots and the time stamp 12:34:56.789.

#include "cuts.h"
#include "hart/device_variables.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using hart_test::expectCutsFail;
using hart_test::hex;

// 25.0 -> 41 C8 00 00    4.2 -> 40 86 66 66    -1.5 -> BF C0 00 00
// 250.0 -> 43 7A 00 00   -1.0 -> BF 80 00 00   0.5 -> 3F 00 00 00
// 0.1 -> 3D CC CC CD     (0.1f is 0.100000001490116...)

// HART 7 command 9 reply with two slots:
//   02                   extended device status: device variable alert
//   F6 40 20 41C80000 C0 PV, temperature, degC, 25.0, good
//   01 41 07 40866666 58 variable 1, pressure, bar, 4.2,
//                        poor accuracy (01), low limited (01), more status (1)
//   566592A0             slot 0 taken at 12:34:56.789
const std::vector<std::uint8_t> kCommand9 =
    hex("02 F6 40 20 41 C8 00 00 C0 01 41 07 40 86 66 66 58 56 65 92 A0");

void expectSlot(const hart::DeviceVariable& slot, const hart::DeviceVariable& expected) {
    EXPECT_EQ(slot.code, expected.code);
    EXPECT_EQ(slot.classification, expected.classification);
    EXPECT_EQ(slot.unit, expected.unit);
    EXPECT_EQ(slot.value, expected.value);
    EXPECT_EQ(slot.status, expected.status);
}

TEST(Command9, Hart7ReplyWithTimeStamp) {
    const auto reply = hart::decodeCommand9(kCommand9);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->extendedStatus, 0x02);
    ASSERT_EQ(reply->variables.size(), 2u);
    expectSlot(reply->variables[0], {246, 64, 32, 25.0f, 0xC0});
    expectSlot(reply->variables[1], {1, 65, 7, 4.2f, 0x58});
    EXPECT_EQ(reply->timeStamp, 0x566592A0u);
}

TEST(Command9, Hart6ReplyWithoutTimeStamp) {
    // 00, then variable 0, not classified, degC, -1.5, manual/fixed.
    const auto reply = hart::decodeCommand9(hex("00 00 00 20 BF C0 00 00 80"));
    ASSERT_TRUE(reply.has_value());
    ASSERT_EQ(reply->variables.size(), 1u);
    expectSlot(reply->variables[0], {0, 0, 32, -1.5f, 0x80});
    EXPECT_FALSE(reply->timeStamp.has_value());
}

TEST(Command9, EightSlotsAreTheMost) {
    // Slot i: code i, pressure, bar, 25.0, good.
    const auto slots = [](int count) {
        std::vector<std::uint8_t> data{0x00};
        for (int i = 0; i < count; ++i) {
            const auto slot = hex("00 41 07 41 C8 00 00 C0");
            data.insert(data.end(), slot.begin(), slot.end());
            data[data.size() - 8] = static_cast<std::uint8_t>(i);
        }
        const auto stamp = hex("00 00 7D 00");
        data.insert(data.end(), stamp.begin(), stamp.end());
        return data;
    };
    const auto eight = hart::decodeCommand9(slots(8));
    ASSERT_TRUE(eight.has_value());
    ASSERT_EQ(eight->variables.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i)
        expectSlot(eight->variables[i], {static_cast<std::uint8_t>(i), 65, 7, 25.0f, 0xC0});
    EXPECT_EQ(eight->timeStamp, 32000u);
    EXPECT_FALSE(hart::decodeCommand9(slots(9)).has_value());
}

TEST(Command9, LengthsOfNoLayout) {
    for (const char* data : {"", "02", "02 00 00 7D 00", "02 F6 40 20 41 C8 00 00 C0 56 65",
                             "02 F6 40 20 41 C8 00 00 C0 56 65 92 A0 00"})
        EXPECT_FALSE(hart::decodeCommand9(hex(data)).has_value()) << data;
}

TEST(Command9, EveryCutFailsUnlessItHasALayoutLength) {
    // 9 and 17 bytes read as one and two slots without a time stamp, and 13
    // as one slot with the next slot's first four bytes for a time stamp:
    // the length alone cannot tell, the frame's byte count and checksum do.
    expectCutsFail(kCommand9, hart::decodeCommand9, {9, 13, 17});
    const auto cut = hart::decodeCommand9(std::span(kCommand9).first(17));
    ASSERT_TRUE(cut.has_value());
    ASSERT_EQ(cut->variables.size(), 2u);
    expectSlot(cut->variables[1], {1, 65, 7, 4.2f, 0x58});
    EXPECT_FALSE(cut->timeStamp.has_value());
}

TEST(Command9, RequestCarriesOneToEightCodes) {
    const std::vector<std::uint8_t> codes{0, 1, 2, 3, 246, 247, 248, 249};
    EXPECT_EQ(hart::command9Request(codes), hex("00 01 02 03 F6 F7 F8 F9"));
    EXPECT_EQ(hart::command9Request(std::vector<std::uint8_t>{245}), hex("F5"));
    EXPECT_THROW(hart::command9Request({}), std::invalid_argument);
    EXPECT_THROW(hart::command9Request(std::vector<std::uint8_t>(9, 0)), std::invalid_argument);
}

TEST(VariableStatus, ProcessStatusLimitsAndMoreStatus) {
    struct Row {
        std::uint8_t status;
        hart::ProcessStatus process;
        hart::LimitStatus limit;
        const char* text;
    };
    using P = hart::ProcessStatus;
    using L = hart::LimitStatus;
    const std::vector<Row> rows{
        {0xC0, P::Good, L::NotLimited, "good"},
        {0x40, P::PoorAccuracy, L::NotLimited, "poor accuracy"},
        {0x80, P::ManualFixed, L::NotLimited, "manual/fixed"},
        {0x00, P::Bad, L::NotLimited, "bad"},
        {0xD0, P::Good, L::LowLimited, "good, low limited"},
        {0xE0, P::Good, L::HighLimited, "good, high limited"},
        {0x30, P::Bad, L::Constant, "bad, constant"},
        {0x58, P::PoorAccuracy, L::LowLimited, "poor accuracy, low limited, more status available"},
        {0xC8, P::Good, L::NotLimited, "good, more status available"},
        {0xB8, P::ManualFixed, L::Constant, "manual/fixed, constant, more status available"},
        {0xC7, P::Good, L::NotLimited, "good"}, // bits 2-0 belong to the device family
        {0x3F, P::Bad, L::Constant, "bad, constant, more status available"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(hart::processStatusOf(row.status), row.process) << int(row.status);
        EXPECT_EQ(hart::limitStatusOf(row.status), row.limit) << int(row.status);
        EXPECT_EQ(hart::variableStatusText(row.status), row.text) << int(row.status);
    }
}

TEST(VariableCodes, TypedListsThatParse) {
    struct Row {
        const char* text;
        std::size_t most;
        std::vector<std::uint8_t> codes;
    };
    const std::vector<Row> rows{
        {"0,1,2,3,246,247,248,249", 8, {0, 1, 2, 3, 246, 247, 248, 249}},
        {" 7 ,\t250 ", 8, {7, 250}},
        {"255", 1, {255}},
        {"0", 4, {0}},
        {"007, 010", 4, {7, 10}},
        {"1,2,3,4", 4, {1, 2, 3, 4}},
    };
    for (const Row& row : rows) {
        const hart::ParsedCodes parsed = hart::parseVariableCodes(row.text, row.most);
        EXPECT_EQ(parsed.error, "") << row.text;
        EXPECT_EQ(parsed.codes, row.codes) << row.text;
    }
}

TEST(VariableCodes, TypedListsThatDoNot) {
    struct Row {
        const char* text;
        std::size_t most;
        const char* error;
    };
    const std::vector<Row> rows{
        {"", 8, "Type at least one device variable code."},
        {" \t ", 8, "Type at least one device variable code."},
        {"1,,2", 8, "A device variable code is missing between two commas."},
        {"1,2,", 8, "A device variable code is missing between two commas."},
        {",1", 8, "A device variable code is missing between two commas."},
        {"1, ,2", 8, "A device variable code is missing between two commas."},
        {"256", 8, "'256' is not a device variable code (0-255)."},
        {"1000", 8, "'1000' is not a device variable code (0-255)."},
        {"0001", 8, "'0001' is not a device variable code (0-255)."},
        {"-1", 8, "'-1' is not a device variable code (0-255)."},
        {"PV", 8, "'PV' is not a device variable code (0-255)."},
        {"1 2", 8, "'1 2' is not a device variable code (0-255)."},
        {"1.5", 8, "'1.5' is not a device variable code (0-255)."},
        {"1;2", 8, "'1;2' is not a device variable code (0-255)."},
        {"0,1,2,3,4", 4, "At most 4 device variable codes fit in one request."},
        {"0,1,2,3,4,5,6,7,8", 8, "At most 8 device variable codes fit in one request."},
    };
    for (const Row& row : rows) {
        const hart::ParsedCodes parsed = hart::parseVariableCodes(row.text, row.most);
        EXPECT_EQ(parsed.error, row.error) << '"' << row.text << '"';
        EXPECT_TRUE(parsed.codes.empty()) << '"' << row.text << '"';
    }
}

// Command 33 reply: F6 20 41C80000 (PV, degC, 25.0), 01 07 40866666
// (variable 1, bar, 4.2).
const std::vector<std::uint8_t> kCommand33 = hex("F6 20 41 C8 00 00 01 07 40 86 66 66");

TEST(Command33, SlotsOfCodeUnitAndValue) {
    const auto values = hart::decodeCommand33(kCommand33);
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 2u);
    EXPECT_EQ((*values)[0].code, 246);
    EXPECT_EQ((*values)[0].unit, 32);
    EXPECT_EQ((*values)[0].value, 25.0f);
    EXPECT_EQ((*values)[1].code, 1);
    EXPECT_EQ((*values)[1].unit, 7);
    EXPECT_EQ((*values)[1].value, 4.2f);
}

TEST(Command33, WholeSlotsOnlyAndAtMostFour) {
    expectCutsFail(kCommand33, hart::decodeCommand33, {6});
    std::vector<std::uint8_t> five;
    for (int i = 0; i < 5; ++i)
        five.insert(five.end(), kCommand33.begin(), kCommand33.begin() + 6);
    EXPECT_FALSE(hart::decodeCommand33(five).has_value());
    five.resize(24);
    EXPECT_EQ(hart::decodeCommand33(five)->size(), 4u);
    EXPECT_FALSE(hart::decodeCommand33(hex("F6 20 41 C8 00 00 01")).has_value());

    EXPECT_EQ(hart::command33Request(std::vector<std::uint8_t>{0, 1, 2, 3}), hex("00 01 02 03"));
    EXPECT_THROW(hart::command33Request(std::vector<std::uint8_t>(5, 0)), std::invalid_argument);
    EXPECT_THROW(hart::command33Request({}), std::invalid_argument);
}

// Command 54 reply of a recent HART 7 device, 28 bytes:
//   01        device variable 1
//   01 E2 40  transducer serial number 123456
//   07        limits in bar
//   437A0000  upper limit 250.0
//   BF800000  lower limit -1.0
//   3F000000  damping 0.5 s
//   3DCCCCCD  minimum span 0.1
//   41 05     pressure classification, pressure family
//   00007D00  acquisition period 1 s (32000 ticks)
//   01        properties
const std::vector<std::uint8_t> kCommand54 =
    hex("01 01 E2 40 07 43 7A 00 00 BF 80 00 00 3F 00 00 00"
        " 3D CC CC CD 41 05 00 00 7D 00 01");

TEST(Command54, Hart7ReplyWithPeriodAndProperties) {
    ASSERT_EQ(kCommand54.size(), 28u);
    const auto info = hart::decodeCommand54(kCommand54);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->code, 1);
    EXPECT_EQ(info->transducerSerialNumber, 123456u);
    EXPECT_EQ(info->limitsUnit, 7);
    EXPECT_EQ(info->upperLimit, 250.0f);
    EXPECT_EQ(info->lowerLimit, -1.0f);
    EXPECT_EQ(info->damping, 0.5f);
    EXPECT_EQ(info->minimumSpan, 0.1f);
    EXPECT_EQ(info->classification, 65);
    EXPECT_EQ(info->family, 5);
    EXPECT_EQ(info->acquisitionPeriod, 32000u);
    EXPECT_EQ(info->properties, 0x01);
}

TEST(Command54, OlderRepliesLackTheLaterFields) {
    // 27 bytes: early HART 7, no properties; 23 bytes: HART 5 and 6.
    const auto seven = hart::decodeCommand54(std::span(kCommand54).first(27));
    ASSERT_TRUE(seven.has_value());
    EXPECT_EQ(seven->acquisitionPeriod, 32000u);
    EXPECT_FALSE(seven->properties.has_value());
    const auto six = hart::decodeCommand54(std::span(kCommand54).first(23));
    ASSERT_TRUE(six.has_value());
    EXPECT_EQ(six->family, 5);
    EXPECT_EQ(six->minimumSpan, 0.1f);
    EXPECT_FALSE(six->acquisitionPeriod.has_value());
    EXPECT_FALSE(six->properties.has_value());
    // A period cut short is no period.
    const auto cut = hart::decodeCommand54(std::span(kCommand54).first(26));
    ASSERT_TRUE(cut.has_value());
    EXPECT_FALSE(cut->acquisitionPeriod.has_value());
}

TEST(Command54, EveryCutShorterThanTheHart6LayoutFails) {
    expectCutsFail(kCommand54, hart::decodeCommand54, {23, 24, 25, 26, 27});
}

TEST(Command50, OneToFourAssignments) {
    const auto full = hart::decodeCommand50(hex("00 01 02 FA"));
    ASSERT_TRUE(full.has_value());
    EXPECT_EQ(full->pv, 0);
    EXPECT_EQ(full->sv, 1);
    EXPECT_EQ(full->tv, 2);
    EXPECT_EQ(full->qv, 250);

    const auto two = hart::decodeCommand50(hex("05 06"));
    ASSERT_TRUE(two.has_value());
    EXPECT_EQ(two->pv, 5);
    EXPECT_EQ(two->sv, 6);
    EXPECT_FALSE(two->tv.has_value());
    EXPECT_FALSE(two->qv.has_value());

    EXPECT_EQ(hart::decodeCommand50(hex("00 01 02 03 09"))->qv, 3); // later bytes are not QV
    EXPECT_FALSE(hart::decodeCommand50({}).has_value());
}

TEST(Command51, RequestStopsAtTheFirstAbsentVariable) {
    EXPECT_EQ(hart::command51Request({0, 1, 2, 3}), hex("00 01 02 03"));
    EXPECT_EQ(hart::command51Request({246}), hex("F6"));
    EXPECT_EQ(hart::command51Request({5, 6, std::nullopt, 7}), hex("05 06"));
    const hart::VariableMapping mapping{4, 3, 2, 1};
    const auto back = hart::decodeCommand50(hart::command51Request(mapping));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->pv, 4);
    EXPECT_EQ(back->sv, 3);
    EXPECT_EQ(back->tv, 2);
    EXPECT_EQ(back->qv, 1);
}

} // namespace
