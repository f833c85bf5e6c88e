// Texts of the common-table codes a device reports about its variables.
// Expected texts are the tables' own meanings, written out by hand.

#include "hart/common_tables.h"
#include "hart/tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(UnitTexts, CodesOfEveryKindAndTheReservedOnes) {
    struct Row {
        std::uint8_t code;
        const char* text;
    };
    const std::vector<Row> rows{
        {1, "inH2O"},        {6, "psi"},          {7, "bar"},        {8, "mbar"},
        {12, "kPa"},         {237, "MPa"},        {32, "degC"},      {33, "degF"},
        {35, "K"},           {39, "mA"},          {36, "mV"},        {37, "ohm"},
        {17, "L/min"},       {19, "m3/h"},        {138, "L/h"},      {131, "m3/min"},
        {73, "kg/s"},        {75, "kg/h"},        {78, "t/h"},       {41, "L"},
        {43, "m3"},          {45, "m"},           {49, "mm"},        {50, "min"},
        {51, "s"},           {53, "d"},           {57, "%"},         {59, "pH"},
        {92, "kg/m3"},       {139, "ppm"},        {169, "ppb"},      {145, "inH2O (60F)"},
        {238, "inH2O (4C)"}, {239, "mmH2O (4C)"}, {250, "not used"}, {251, "none"},
        {252, "unknown"},    {253, "special"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(hart::unitText(row.code), row.text) << "unit " << int(row.code);
        EXPECT_EQ(hart::unitName(row.code), std::string_view(row.text)) << int(row.code);
    }
}

TEST(UnitTexts, CodesWithoutAMeaningShowTheirNumber) {
    // 0 and 156-159 are unassigned, 240-249 belong to the maker, 254 and 255
    // are reserved, and 170-219 need the variable's classification.
    for (const int code : {0, 156, 159, 170, 174, 219, 220, 234, 240, 249, 254, 255}) {
        const auto c = static_cast<std::uint8_t>(code);
        EXPECT_FALSE(hart::unitName(c).has_value()) << code;
        EXPECT_EQ(hart::unitText(c), "unit " + std::to_string(code));
    }
}

TEST(UnitTexts, ExpandedCodesMeanWhatTheClassificationSays) {
    struct Row {
        std::uint8_t code;
        std::uint8_t classification;
        const char* text;
    };
    const std::vector<Row> rows{
        {170, 65, "cmH2O (4C)"}, // pressure
        {174, 65, "hPa"},        {175, 65, "psia"},
        {170, 66, "beer bbl/s"},                  // volumetric flow: the same code, another unit
        {188, 66, "Sm3/h"},      {170, 70, "ms"}, // time
        {171, 84, "uA"},                          // current
        {174, 64, "unit 174"},                    // temperature has no expanded units
        {174, 0, "unit 174"},                     // nor has a variable without a classification
        {191, 65, "unit 191"},                    // past the pressure expansion
        {32, 65, "degC"},                         // codes outside 170-219 do not depend on it
        {7, 0, "bar"},           {250, 66, "not used"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(hart::unitText(row.code, row.classification), row.text)
            << "unit " << int(row.code) << " of classification " << int(row.classification);
}

TEST(UnitTexts, EveryCodeTheUnitListsWriteHasAName) {
    // The range and real-time unit lists write these codes; a device page
    // showing them back must not fall back to a bare number.
    for (const hart::UnitRow& row : hart::kUnitTable) {
        if (row.code < 0) continue;
        EXPECT_TRUE(hart::unitName(static_cast<std::uint8_t>(row.code)).has_value())
            << row.code << " (" << row.rangeText << ")";
    }
}

TEST(ClassificationNames, NamedAndUnnamedCodes) {
    struct Row {
        std::uint8_t code;
        const char* name;
    };
    const std::vector<Row> rows{
        {0, "not classified"},
        {64, "temperature"},
        {65, "pressure"},
        {66, "volumetric flow"},
        {67, "velocity"},
        {69, "length"},
        {72, "mass flow"},
        {73, "mass per volume"},
        {81, "analytical"},
        {84, "current"},
        {90, "concentration"},
        {92, "level"},
        {95, "Coriolis flow"},
        {1, "classification 1"},
        {63, "classification 63"},
        {250, "classification 250"},
        {255, "classification 255"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(hart::classificationName(row.code), row.name) << int(row.code);
}

TEST(DeviceVariableCodes, ReservedCodesByNameOthersByNumber) {
    struct Row {
        std::uint8_t code;
        const char* text;
    };
    const std::vector<Row> rows{
        {246, "PV"},
        {247, "SV"},
        {248, "TV"},
        {249, "QV"},
        {242, "battery voltage"},
        {243, "battery life"},
        {244, "percent range"},
        {245, "loop current"},
        {250, "not used"},
        {0, "0"},
        {7, "7"},
        {241, "241"},
        {251, "251"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(hart::deviceVariableCodeText(row.code), row.text) << int(row.code);
}

TEST(SmallTables, FamiliesLoopCurrentModesAndClockFlags) {
    EXPECT_EQ(hart::deviceFamilyName(4), "temperature");
    EXPECT_EQ(hart::deviceFamilyName(5), "pressure");
    EXPECT_EQ(hart::deviceFamilyName(14), "Coriolis flow");
    EXPECT_EQ(hart::deviceFamilyName(250), "not used");
    EXPECT_EQ(hart::deviceFamilyName(3), "family 3");
    EXPECT_EQ(hart::deviceFamilyName(15), "family 15");

    EXPECT_EQ(hart::loopCurrentModeText(0), "disabled");
    EXPECT_EQ(hart::loopCurrentModeText(1), "enabled");
    EXPECT_EQ(hart::loopCurrentModeText(2), "mode 2");

    EXPECT_EQ(hart::setBitNames(0x03, hart::kRealTimeClockFlagBits),
              (std::vector<std::string>{"clock uninitialized", "non-volatile clock"}));
    EXPECT_EQ(hart::setBitNames(0x04, hart::kRealTimeClockFlagBits),
              (std::vector<std::string>{"reserved bit 2"}));
}

} // namespace
