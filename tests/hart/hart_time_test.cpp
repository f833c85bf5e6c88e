// HART time: 1/32 ms since midnight, as text and back. Tick counts are
// worked by hand: ((h * 60 + m) * 60 + s) * 32000 + ms * 32.

#include "hart/encodings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

// 12:34:56.789 = 45296789 ms = 1449497248 ticks.
constexpr std::uint32_t k123456789 = 0x566592A0;
// 24 h = 86400000 ms = 2764800000 ticks.
constexpr std::uint32_t kOneDay = 0xA4CB8000;

TEST(HartTime, TicksAsTimeOfDay) {
    struct Row {
        std::uint32_t ticks;
        std::optional<std::string> text;
    };
    const std::vector<Row> rows{
        {0, "00:00:00.000"},          {31, "00:00:00.000"}, // the part of a millisecond is dropped,
                                                            // not rounded up
        {32, "00:00:00.001"},         {32000, "00:00:01.000"},        {119136000, "01:02:03.000"},
        {k123456789, "12:34:56.789"}, {kOneDay - 32, "23:59:59.999"}, {kOneDay - 1, "23:59:59.999"},
        {kOneDay, std::nullopt}, // no time of day
        {0xFFFFFFFF, std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(hart::hartTimeText(row.ticks), row.text) << row.ticks;
}

TEST(HartTime, TypedTimesOfDay) {
    struct Row {
        const char* text;
        std::uint32_t ticks;
    };
    const std::vector<Row> rows{
        {"12:34:56.789", k123456789},
        {"12:34:56.78", 1449496960}, // .78 is 780 ms
        {"12:34:56.7", 1449494400},
        {"00:00", 0},
        {"7:05", 816000000},
        {"1:2:3", 119136000},
        {"23:59:59.999", kOneDay - 32},
    };
    for (const Row& row : rows)
        EXPECT_EQ(hart::hartTimeFromText(row.text), row.ticks) << row.text;
}

TEST(HartTime, TextsThatAreNoTimeOfDay) {
    for (const char* text :
         {"",         "12",        "12:",           ":30",         "24:00",  "12:60",
          "12:00:60", "12:00:00.", "12:00:00.1234", "12:00.5",     "ab:cd",  "12:00:00:00",
          "-1:00",    " 12:00",    "12:00 ",        "12:00:00.5x", "123:00", "12:345",
          "12::00",   "1e1:00"}) {
        EXPECT_THROW(hart::hartTimeFromText(text), hart::ConversionError) << '"' << text << '"';
    }
    try {
        hart::hartTimeFromText("25:00");
        ADD_FAILURE() << "25:00 taken as a time of day";
    } catch (const hart::ConversionError& e) {
        EXPECT_STREQ(e.what(), "'25:00' is not a time of day (hh:mm:ss.mmm).");
    }
}

TEST(HartTime, TextRoundTripsThroughTicks) {
    for (const char* text : {"00:00:00.000", "00:00:00.001", "09:59:59.999", "12:34:56.789",
                             "13:00:00.500", "23:59:59.999"})
        EXPECT_EQ(hart::hartTimeText(hart::hartTimeFromText(text)), std::string(text));
}

TEST(HartTime, DurationsInSeconds) {
    EXPECT_DOUBLE_EQ(hart::hartTimeSeconds(32000), 1.0);
    EXPECT_DOUBLE_EQ(hart::hartTimeSeconds(320000), 10.0);
    EXPECT_DOUBLE_EQ(hart::hartTimeSeconds(16), 0.0005);
}

} // namespace
