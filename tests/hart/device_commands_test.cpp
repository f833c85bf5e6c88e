// Loop configuration, configuration change counter, long tag, real-time
// clock, communication statistics and squawk. Byte images are worked by
// hand from the commands' layouts; the command 0 and command 7 images were
// also read back by Wireshark's HART-IP dissector (tshark): configuration
// change counter 4660, poll address 5, loop current mode 1.

#include "cuts.h"
#include "hart/device_commands.h"
#include "hart/encodings.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using hart_test::expectCutsFail;
using hart_test::hex;

template <std::size_t N> std::vector<std::uint8_t> bytesOf(const std::array<std::uint8_t, N>& a) {
    return {a.begin(), a.end()};
}

TEST(LoopConfiguration, Command7ReplyAndCommand6Request) {
    const auto loop = hart::decodeCommand7(hex("05 01"));
    ASSERT_TRUE(loop.has_value());
    EXPECT_EQ(loop->pollAddress, 5);
    EXPECT_EQ(loop->loopCurrentMode, hart::kLoopCurrentEnabled);
    expectCutsFail(hex("05 01"), hart::decodeCommand7);

    EXPECT_EQ(bytesOf(hart::command6Request({5, hart::kLoopCurrentDisabled})), hex("05 00"));
    EXPECT_EQ(bytesOf(hart::command6Request({63, hart::kLoopCurrentEnabled})), hex("3F 01"));
}

// Command 0 reply of a HART 7 device, 22 bytes:
//   FE 11 B7     expansion, expanded device type 0x11B7
//   05 07 02 03  5 request preambles, universal revision 7, device revision 2,
//                software revision 3
//   10 00        hardware revision and signalling, flags
//   3A 5C 8C     device ID
//   05 08        5 response preambles, last device variable 8
//   12 34        configuration change counter 0x1234 = 4660
//   03           extended device status
//   00 11 00 11  manufacturer, distributor
//   01           profile
const std::vector<std::uint8_t> kIdentity7 =
    hex("FE 11 B7 05 07 02 03 10 00 3A 5C 8C 05 08 12 34 03 00 11 00 11 01");

TEST(ConfigurationChangeCounter, FromCommand0OfRevision6AndLater) {
    EXPECT_EQ(hart::configurationChangeCounterOf(kIdentity7), 0x1234);

    // Universal revision 6 stops after the extended device status (17 bytes).
    auto six = std::vector<std::uint8_t>(kIdentity7.begin(), kIdentity7.begin() + 17);
    six[4] = 6;
    EXPECT_EQ(hart::configurationChangeCounterOf(six), 0x1234);

    // Revision 5 has no counter, whatever follows byte 11.
    auto five = six;
    five[4] = 5;
    EXPECT_FALSE(hart::configurationChangeCounterOf(five).has_value());
    EXPECT_FALSE(hart::configurationChangeCounterOf(std::span(five).first(12)).has_value());

    auto notIdentity = kIdentity7;
    notIdentity[0] = 0xFD;
    EXPECT_FALSE(hart::configurationChangeCounterOf(notIdentity).has_value());

    // The counter needs bytes 14 and 15.
    expectCutsFail(kIdentity7, hart::configurationChangeCounterOf, {16, 17, 18, 19, 20, 21});
}

TEST(ConfigurationChangeCounter, Command38AndTheStatusBit) {
    EXPECT_EQ(bytesOf(hart::command38Request(0x1234)), hex("12 34"));
    EXPECT_EQ(bytesOf(hart::command38Request(7)), hex("00 07"));
    EXPECT_EQ(hart::decodeCommand38(hex("12 34")), 0x1234);
    EXPECT_EQ(hart::decodeCommand38(hex("FF FE")), 0xFFFE);
    expectCutsFail(hex("12 34"), hart::decodeCommand38);

    EXPECT_TRUE(hart::configurationChanged(0x40));
    EXPECT_TRUE(hart::configurationChanged(0xFF));
    EXPECT_FALSE(hart::configurationChanged(0xBF));
    EXPECT_FALSE(hart::configurationChanged(0x00));
}

std::vector<std::uint8_t> padded(std::string_view text, std::uint8_t fill) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.resize(32, fill);
    return bytes;
}

TEST(LongTag, Command20ReadsUpToTheFirstNulWithoutTrailingBlanks) {
    struct Row {
        std::vector<std::uint8_t> data;
        std::string tag;
    };
    // "Durchflu\xDF": the Latin-1 sharp s is one byte, DF.
    const std::string full = "FT-205 Speisewasser Durchflu\xDF K2";
    ASSERT_EQ(full.size(), 32u);
    const std::vector<Row> rows{
        {padded(full, 0), full},
        {padded("TT-100", 0x00), "TT-100"},
        {padded("TT-100", ' '), "TT-100"},
        {padded("TT-100  ", 0x00), "TT-100"},
        {padded(" TT 100", 0x00), " TT 100"},
        {hex("41 42 00 43 44"), ""}, // too short, see below
        {padded(std::string("AB\0CD", 5), ' '), "AB"},
        {padded("", 0x00), ""},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto tag = hart::decodeCommand20(rows[i].data);
        if (rows[i].data.size() < 32) {
            EXPECT_FALSE(tag.has_value()) << i;
            continue;
        }
        ASSERT_TRUE(tag.has_value()) << i;
        EXPECT_EQ(*tag, rows[i].tag) << i;
    }
    expectCutsFail(padded("TT-100", 0), hart::decodeCommand20);
}

TEST(LongTag, Command22PadsWithNul) {
    EXPECT_EQ(bytesOf(hart::command22Request("TT-100")),
              hex("54 54 2D 31 30 30 00 00 00 00 00 00 00 00 00 00"
                  " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
    const std::string full = "FT-205 Speisewasser Durchflu\xDF K2";
    const auto bytes = hart::command22Request(full);
    EXPECT_EQ(bytes[28], 0xDF);
    EXPECT_EQ(hart::decodeCommand20(bytes), full);
}

TEST(LongTag, Command22RefusesWhatCannotBeATag) {
    const std::vector<std::string> refused{
        std::string(33, 'A'),
        "TT\t100",
        "TT\n",
        std::string("TT\0", 3),
        "TT\x7F",
        "TT\x85", // a C1 control character in Latin-1
    };
    for (const std::string& text : refused)
        EXPECT_THROW(hart::command22Request(text), hart::ConversionError) << text;
    try {
        hart::command22Request(std::string(33, 'A'));
        ADD_FAILURE() << "33 characters taken";
    } catch (const hart::ConversionError& e) {
        EXPECT_STREQ(e.what(), "The long tag has 33 characters; at most 32 fit.");
    }
    EXPECT_NO_THROW(hart::command22Request(std::string(32, 'A')));
    EXPECT_NO_THROW(hart::command22Request("\xA0\xFF")); // no-break space and y diaeresis
}

// Command 90 reply, 15 bytes:
//   0E 03 7C     today: 14 March 2024 (124 = 2024 - 1900)
//   56 65 92 A0  now: 12:34:56.789
//   01 01 7C     set on 1 January 2024
//   00 00 7D 00  at 00:00:01.000
//   01           non-volatile clock
const std::vector<std::uint8_t> kCommand90 = hex("0E 03 7C 56 65 92 A0 01 01 7C 00 00 7D 00 01");

TEST(RealTimeClock, Command90) {
    const auto clock = hart::decodeCommand90(kCommand90);
    ASSERT_TRUE(clock.has_value());
    EXPECT_EQ(clock->currentDate, (std::array<std::uint8_t, 3>{14, 3, 124}));
    EXPECT_EQ(clock->currentTime, 0x566592A0u);
    EXPECT_EQ(clock->lastSetDate, (std::array<std::uint8_t, 3>{1, 1, 124}));
    EXPECT_EQ(clock->lastSetTime, 32000u);
    EXPECT_EQ(clock->flags, 0x01);
    EXPECT_EQ(hart::dateTimeText(clock->currentDate, clock->currentTime),
              "2024-03-14 12:34:56.789");
    EXPECT_EQ(hart::dateTimeText(clock->lastSetDate, clock->lastSetTime),
              "2024-01-01 00:00:01.000");
    expectCutsFail(kCommand90, hart::decodeCommand90);
}

TEST(RealTimeClock, Command89WritesDateAndTime) {
    // Time-set code 1 (write date and time), date, time, two reserved zeros.
    const std::array<std::uint8_t, 3> date{14, 3, 124};
    EXPECT_EQ(bytesOf(hart::command89Request(date, 0x566592A0)),
              hex("01 0E 03 7C 56 65 92 A0 00 00"));
    // The same request from what a user types.
    const auto typed = hart::command89Request(hart::hartDateFromText("14", "3", "2024"),
                                              hart::hartTimeFromText("12:34:56.789"));
    EXPECT_EQ(bytesOf(typed), hex("01 0E 03 7C 56 65 92 A0 00 00"));
    EXPECT_EQ(hart::dateTimeText(date, 0xA4CB8000), "2024-03-14 invalid time");
}

TEST(CommStatistics, Command95) {
    // 012C = 300 requests, 012B = 299 replies, 0005 = 5 burst messages.
    const auto stats = hart::decodeCommand95(hex("01 2C 01 2B 00 05"));
    ASSERT_TRUE(stats.has_value());
    EXPECT_EQ(stats->stxReceived, 300);
    EXPECT_EQ(stats->ackSent, 299);
    EXPECT_EQ(stats->backSent, 5);
    expectCutsFail(hex("01 2C 01 2B 00 05"), hart::decodeCommand95);
}

TEST(Squawk, OnceIsARequestWithoutData) {
    EXPECT_EQ(bytesOf(hart::kSquawkOnceRequest), std::vector<std::uint8_t>{});
    EXPECT_EQ(hart::kSquawkOff, 0);
    EXPECT_EQ(hart::kSquawkOn, 1);
    EXPECT_EQ(hart::kSquawkOnce, 2);
}

} // namespace
