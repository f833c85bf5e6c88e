// Number parsing, WireFloat and FloatText. Every float sits next to its wire
// image; expected texts are the exact decimal value of that single-precision
// number rounded by hand to 15 significant digits.

#include "hart/encodings.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <optional>
#include <string>
#include <vector>

namespace {

using hart_test::hex;

std::array<std::uint8_t, 4> four(const char* bytes) {
    const auto v = hex(bytes);
    return {v.at(0), v.at(1), v.at(2), v.at(3)};
}

std::string conversionMessage(auto&& call) {
    try {
        call();
    } catch (const hart::ConversionError& e) {
        return e.what();
    }
    return "(no ConversionError)";
}

TEST(WireFloatFromText, TypedNumbersGiveTheirSinglePrecisionBytes) {
    struct Row {
        const char* text;
        const char* bytes;
    };
    const std::vector<Row> rows{
        {"4.0", "40 80 00 00"},
        {"8", "41 00 00 00"},
        {"12.0", "41 40 00 00"},
        {"16.0", "41 80 00 00"},
        {"20.0", "41 A0 00 00"},
        {"0.0", "00 00 00 00"},
        {"4.2", "40 86 66 66"},
        {"-1.5", "BF C0 00 00"},
        {"0.1", "3D CC CC CD"},
        {".5", "3F 00 00 00"},
        {"5.", "40 A0 00 00"},
        {"-.5", "BF 00 00 00"},
        {"007", "40 E0 00 00"},
        {"-0", "80 00 00 00"},
        // 2^24 + 1 and 2^24 + 3 lie halfway between floats: ties go to the even mantissa.
        {"16777217", "4B 80 00 00"},
        {"16777219", "4B 80 00 02"},
        // Just above the tie: rounding via double first would land on the tie and
        // then on 4B 80 00 00.
        {"16777217.000000000000001", "4B 80 00 01"},
        // Far below the smallest float: rounds to zero.
        {"0.00000000000000000000000000000000000000000000000000001", "00 00 00 00"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(hart::wireFloatFromText(row.text), four(row.bytes)) << row.text;
    }
}

TEST(WireFloatFromText, NonNumbersRaiseTheFloatConversionError) {
    for (const char* text : {"", ".", "-", "-.", "1..2", "1.2.3", "1-", "--1", "abc", " 1", "1 ",
                             "1e5", "+1", "1,5", "0x10", "4.2V"}) {
        EXPECT_EQ(conversionMessage([&] { hart::wireFloatFromText(text); }),
                  "'" + std::string(text) + "' is not a valid floating point value.");
    }
    const std::string huge = "1" + std::string(40, '0');
    const std::string message = conversionMessage([&] { hart::parseFloat(huge); });
    EXPECT_NE(message.find("'" + huge + "'"), std::string::npos) << message;
}

TEST(ParseInt, DecimalIntegersInTheInt32Range) {
    EXPECT_EQ(hart::parseInt("0"), 0);
    EXPECT_EQ(hart::parseInt("-5"), -5);
    EXPECT_EQ(hart::parseInt("007"), 7);
    EXPECT_EQ(hart::parseInt("2147483647"), 2147483647);
    EXPECT_EQ(hart::parseInt("-2147483648"), -2147483647 - 1);
    for (const char* text :
         {"", "-", "2147483648", "-2147483649", "1.0", "abc", " 1", "+1", "1e3"}) {
        EXPECT_EQ(conversionMessage([&] { hart::parseInt(text); }),
                  "'" + std::string(text) + "' is not a valid integer value.");
    }
}

TEST(WireFloatToValue, MostSignificantByteFirst) {
    const auto bytes = four("40 86 66 66");
    EXPECT_EQ(hart::wireFloatToValue(bytes.data()), 4.2f);
    EXPECT_EQ(hart::wireFloatToValue(std::span<const std::uint8_t, 4>(bytes)), 4.2f);
    EXPECT_EQ(hart::wireFloatToValue(four("BF C0 00 00").data()), -1.5f);
    EXPECT_EQ(hart::wireFloatFromValue(-1.5f), four("BF C0 00 00"));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(hart::wireFloatToValue(four("7F A0 00 00").data())),
              0x7FA00000u); // a signalling NaN keeps its bits
}

struct TextRow {
    const char* bytes;
    std::optional<int> n;
    const char* text;
};

class FloatText : public ::testing::TestWithParam<TextRow> {};

TEST_P(FloatText, FifteenSignificantDigitsCutToN) {
    const TextRow& row = GetParam();
    const auto bytes = four(row.bytes);
    EXPECT_EQ(hart::floatTextOf(bytes.data(), row.n), row.text) << row.bytes;
    EXPECT_EQ(hart::floatText(hart::wireFloatToValue(bytes.data()), row.n), row.text) << row.bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Values, FloatText,
    ::testing::Values(
        TextRow{"40 86 66 66", {}, "4.19999980926514"},                       // 4.2
        TextRow{"40 86 66 66", 5, "4.199"}, TextRow{"41 A0 00 00", {}, "20"}, // 20.0
        TextRow{"3D CC CC CD", {}, "0.100000001490116"},                      // 0.1
        TextRow{"41 AF 33 33", {}, "21.8999996185303"},                       // 21.9
        TextRow{"41 AF 33 33", 5, "21.89"}, TextRow{"42 C8 00 00", 5, "100"}, // 100.0
        TextRow{"42 C8 00 00", 3, "100"}, TextRow{"42 C7 00 00", 3, "99."},   // 99.5
        TextRow{"41 44 CC CD", 3, "12."},                                     // 12.3
        TextRow{"40 83 33 33", {}, "4.09999990463257"},                       // 4.1
        TextRow{"40 83 33 33", 5, "4.099"}, TextRow{"3F 00 00 00", {}, "0.5"},
        TextRow{"BF C0 00 00", {}, "-1.5"},
        TextRow{"C3 88 93 33", {}, "-273.149993896484"}, // -273.15
        TextRow{"47 F1 20 65", {}, "123456.7890625"},    // 123456.789: 13 digits, exact
        TextRow{"47 F1 20 65", 10, "123456.789"}, TextRow{"00 00 00 00", {}, "0"},
        TextRow{"80 00 00 00", {}, "0"}, // negative zero
        // Plain down to 1E-4, scientific below.
        TextRow{"3A 03 12 6F", {}, "0.000500000023748726"}, // 0.0005
        TextRow{"38 D1 B7 18", {}, "0.000100000004749745"}, // first float above 0.0001
        TextRow{"38 D1 B7 17", {}, "9.99999974737875E-5"},  // 0.0001
        TextRow{"B7 27 C5 AC", {}, "-9.99999974737875E-6"}, // -0.00001
        TextRow{"00 00 00 01", {}, "1.40129846432482E-45"}, // smallest subnormal
        // Plain up to 15 integer digits, scientific from 16.
        TextRow{"58 00 00 00", {}, "562949953421312"},     // 2^49
        TextRow{"58 63 5F A9", {}, "999999986991104"},     // 1E15
        TextRow{"58 80 00 00", {}, "1.12589990684262E15"}, // 2^50 = 1125899906842624
        TextRow{"5A 0E 1B CA", {}, "1.00000002725642E16"}, // 1E16
        TextRow{"60 AD 78 EC", {}, "1.00000002004088E20"}, // 1E20
        TextRow{"7F 7F FF FF", {}, "3.40282346638529E38"}, // largest float
        // 0.5000152587890625 has 16 digits ending in 5: the half rounds away from zero.
        TextRow{"3F 00 01 00", {}, "0.500015258789063"}, TextRow{"7F 80 00 00", {}, "INF"},
        TextRow{"FF 80 00 00", {}, "-INF"}, TextRow{"7F C0 00 00", {}, "NAN"}, // quiet NaN
        TextRow{"7F A0 00 00", {}, "NAN"}, // signalling NaN: shown, never raised
        TextRow{"FF C0 00 00", {}, "NAN"}, TextRow{"40 86 66 66", 0, ""},
        TextRow{"40 86 66 66", 40, "4.19999980926514"}),
    [](const ::testing::TestParamInfo<TextRow>& info) {
        return "Row" + std::to_string(info.index);
    });

// A cut scientific text keeps its exponent: the mantissa is cut (no rounding)
// so that mantissa, "E" and exponent fit the field, a mantissa never ends in
// a bare point, and when even sign, one digit and exponent do not fit, that
// shortest form is shown whole. Lengths 3, 5, 6 and 10 are the field widths
// the pages use. Full texts are the hand-rounded 15-digit values.
TEST(FloatTextCut, ScientificTextsKeepTheirExponent) {
    struct Row {
        const char* bytes;
        const char* full; // no length given
        const char* n3;
        const char* n5;
        const char* n6;
        const char* n10;
    };
    const std::vector<Row> rows{
        // 5E-5 = 4.99999987368938E-5
        {"38 51 B7 17", "4.99999987368938E-5", "4E-5", "4E-5", "4.9E-5", "4.99999E-5"},
        // 1E20: positive exponent of two digits
        {"60 AD 78 EC", "1.00000002004088E20", "1E20", "1E20", "1.0E20", "1.00000E20"},
        // -1E-5: the sign counts towards the length
        {"B7 27 C5 AC", "-9.99999974737875E-6", "-9E-6", "-9E-6", "-9E-6", "-9.9999E-6"},
        // largest negative float
        {"FF 7F FF FF", "-3.40282346638529E38", "-3E38", "-3E38", "-3E38", "-3.4028E38"},
        // -2^52 = -4503599627370496: trailing zero of the 15 digits dropped
        {"D9 80 00 00", "-4.5035996273705E15", "-4E15", "-4E15", "-4E15", "-4.5035E15"},
        // -2^-46: sign, digit and a four-character exponent exceed 5
        {"A8 80 00 00", "-1.4210854715202E-14", "-1E-14", "-1E-14", "-1E-14", "-1.421E-14"},
        // smallest subnormal: three-digit exponent
        {"00 00 00 01", "1.40129846432482E-45", "1E-45", "1E-45", "1E-45", "1.4012E-45"},
    };
    for (const Row& row : rows) {
        const auto bytes = four(row.bytes);
        EXPECT_EQ(hart::floatTextOf(bytes.data()), row.full) << row.bytes;
        EXPECT_EQ(hart::floatTextOf(bytes.data(), 3), row.n3) << row.bytes;
        EXPECT_EQ(hart::floatTextOf(bytes.data(), 5), row.n5) << row.bytes;
        EXPECT_EQ(hart::floatTextOf(bytes.data(), 6), row.n6) << row.bytes;
        EXPECT_EQ(hart::floatTextOf(bytes.data(), 10), row.n10) << row.bytes;
        EXPECT_EQ(hart::floatTextMarked(bytes.data(), 10), row.n10) << row.bytes;
    }
}

TEST(FloatTextCut, ATextThatFitsIsNotTouched) {
    const auto bytes = four("37 80 00 00"); // 2^-16 = 1.52587890625E-5, exact
    EXPECT_EQ(hart::floatTextOf(bytes.data(), 16), "1.52587890625E-5");
    EXPECT_EQ(hart::floatTextOf(bytes.data(), 15), "1.5258789062E-5");
    EXPECT_EQ(hart::floatTextOf(bytes.data(), 40), "1.52587890625E-5");
    // Plain texts are still cut as before, point and all.
    EXPECT_EQ(hart::floatTextOf(four("42 C7 00 00").data(), 3), "99.");
}

TEST(FloatTextMarked, FirstByte7FShowsZeroWhateverFollows) {
    struct Row {
        const char* bytes;
        std::optional<int> n;
        const char* marked;
        const char* unmarked;
    };
    const std::vector<Row> rows{
        {"7F C0 00 00", 10, "0.000", "NAN"},
        {"7F A0 00 00", 10, "0.000", "NAN"},
        {"7F 7F FF FF", 10, "0.000", "3.40282E38"},
        {"7F C0 00 00", 3, "0.000", "NAN"},
        {"40 86 66 66", 10, "4.19999980", "4.19999980"},
        {"FF C0 00 00", 10, "NAN", "NAN"},
    };
    for (const Row& row : rows) {
        const auto bytes = four(row.bytes);
        EXPECT_EQ(hart::floatTextMarked(bytes.data(), row.n), row.marked) << row.bytes;
        EXPECT_EQ(hart::floatTextOf(bytes.data(), row.n), row.unmarked) << row.bytes;
    }
}

TEST(FloatTextNan, SignallingNanNeverThrows) {
    EXPECT_NO_THROW({
        EXPECT_EQ(hart::floatText(std::bit_cast<float>(0x7FA00000u)), "NAN");
        EXPECT_EQ(hart::floatText(std::bit_cast<float>(0xFF800001u), 5), "NAN");
    });
}

// Typing 4.2 and reading the same bytes back, as a SET followed by a query does.
TEST(FloatTextRoundTrip, TypedFourPointTwoReadsBackCut) {
    const auto bytes = hart::wireFloatFromText("4.2");
    EXPECT_EQ(bytes, four("40 86 66 66"));
    EXPECT_EQ(hart::floatTextOf(bytes.data(), 5), "4.199");
}

} // namespace
