// Unit table (both directions) and manufacturer names.

#include "hart/tables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

TEST(UnitTable, CodesSelectTheirListPosition) {
    struct Row {
        int code, position;
        const char* range;
        const char* realtime;
    };
    const std::vector<Row> rows{
        {1, 0, "inH20", "00_inH20"},
        {32, 12, "degc", "12_\xE2\x84\x83"}, // 12_℃
        {33, 13, "degf", "13_\xE2\x84\x89"}, // 13_℉
        {8, 7, "mbar", "06_mbar"},
        {111, 36, "CuYd", "36_CuYd"},
        {11, 8, "Pa", "08_Pa"},
        {113, 38, "CuIn", "38_CuIn"},
        {114, 28, "in_s", "28_in_s"},
        {61, 46, "kg", "46_kg"},
        {62, 47, "MetTon", "47_MetTon"},
        {39, 79, "mA", "79_mA"},
        {57, 75, "%", "75_%"},
        {75, 76, "kg_hr", "76_kg_hr"},           // HART 75 is kg/h
        {77, 55, "metTOM_min", "55_metTOM_min"}, // HART 77 is t/min
        {76, 77, "kg_day", "77_kg_day"},
        {250, 78, "250", "78_250"},
        {139, 80, "ppm", "80_ppm"},
        // Codes no row holds fall back to the catch-all "other".
        {0, 82, "other", "82_other"},
        {9, 82, "other", "82_other"},
        {255, 82, "other", "82_other"},
    };
    for (const Row& row : rows) {
        const int position = hart::unitPositionForCode(static_cast<std::uint8_t>(row.code));
        ASSERT_EQ(position, row.position) << "code " << row.code;
        EXPECT_EQ(hart::kUnitTable[static_cast<std::size_t>(position)].rangeText, row.range);
        EXPECT_EQ(hart::kUnitTable[static_cast<std::size_t>(position)].realtimeText, row.realtime);
    }
}

TEST(UnitTable, PositionsWriteTheirCode) {
    struct Row {
        int position;
        std::optional<std::uint8_t> code;
    };
    const std::vector<Row> rows{
        {0, 1},   {12, 32}, {28, 114}, {36, 111}, {38, 113},  {55, 77},
        {75, 57}, {76, 75}, {-1, {}},  {77, {}},  {78, {}},   {79, {}},
        {80, {}}, {81, {}}, {82, {}},  {83, {}},  {1000, {}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(hart::unitCodeForPosition(row.position), row.code) << "position " << row.position;
    }
}

// Every writable position reads back as itself, and no code names two rows.
TEST(UnitTable, WriteAndReadAreInverse) {
    for (int position = 0; position <= 76; ++position) {
        const auto code = hart::unitCodeForPosition(position);
        ASSERT_TRUE(code.has_value()) << "position " << position;
        EXPECT_EQ(hart::unitPositionForCode(*code), position);
    }
    for (int code = 0; code <= 255; ++code) {
        int rows = 0;
        for (const hart::UnitRow& row : hart::kUnitTable)
            rows += row.code == code ? 1 : 0;
        EXPECT_LE(rows, 1) << "code " << code;
    }
}

// The real-time text is the two-digit position, "_", and the range text, except
// for the three temperature rows and the "06_mbar" quirk of row 7.
TEST(UnitTable, RealtimeTextIsPositionAndRangeText) {
    ASSERT_EQ(hart::kUnitTable.size(), 83u);
    for (std::size_t p = 0; p < hart::kUnitTable.size(); ++p) {
        if (p >= 12 && p <= 14) continue;
        char prefix[4];
        std::snprintf(prefix, sizeof prefix, "%02zu_", p == 7 ? std::size_t{6} : p);
        EXPECT_EQ(hart::kUnitTable[p].realtimeText,
                  std::string(prefix) + std::string(hart::kUnitTable[p].rangeText))
            << "position " << p;
    }
    EXPECT_EQ(hart::kUnitTable[14].realtimeText, "14_R");
    EXPECT_EQ(hart::kUnitTable[14].rangeText, "degr");
    EXPECT_EQ(hart::kUnitTable[81].code, -1);
    EXPECT_EQ(hart::kUnitTable[81].rangeText, "PH");
    EXPECT_EQ(hart::kUnitTable[hart::kUnitOther].code, -1);
}

TEST(ManufacturerNames, NamesAndUnknownCodes) {
    struct Row {
        int code;
        const char* name;
    };
    const std::vector<Row> rows{
        {38, "Rosemount"}, {5, "Bailey"},         {1, "Acromag"},      {17, "Endress_and_Hauser"},
        {42, "Siemens"},   {43, "Camille_Bauer"}, {45, "Transmation"}, {55, "Yokogawa"},
        {69, "Krohne"},    {78, "Drexelbrook"},   {80, "K_TEK"},       {103, "Ohmart"},
        {0, "unknown"},    {44, "unknown"},       {79, "unknown"},     {104, "unknown"},
        {200, "unknown"},  {255, "unknown"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(hart::manufacturerName(static_cast<std::uint8_t>(row.code)), row.name)
            << "code " << row.code;
    }
}

} // namespace
