// Uint24, PackedAscii, HartDate and the keyboard filter of numeric fields.

#include "hart/encodings.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using hart_test::hex;

std::string conversionMessage(auto&& call) {
    try {
        call();
    } catch (const hart::ConversionError& e) {
        return e.what();
    }
    return "(no ConversionError)";
}

template <std::size_t N> std::vector<std::uint8_t> vec(const std::array<std::uint8_t, N>& a) {
    return {a.begin(), a.end()};
}

// ---------------------------------------------------------------- Uint24

TEST(Uint24, TextToThreeBytesMostSignificantFirst) {
    struct Row {
        const char* text;
        const char* bytes;
    };
    const std::vector<Row> rows{
        {"0", "00 00 00"},      {"1", "00 00 01"},      {"256", "00 01 00"},
        {"65536", "01 00 00"},  {"123456", "01 E2 40"}, {"16777215", "FF FF FF"},
        {"000042", "00 00 2A"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(vec(hart::uint24FromText(row.text)), hex(row.bytes)) << row.text;
        EXPECT_EQ(hart::uint24ToText(hex(row.bytes).data()), std::to_string(std::stoul(row.text)));
    }
    EXPECT_EQ(hart::uint24ToValue(hex("12 34 56").data()), 0x123456u);
    EXPECT_EQ(hart::uint24ToText(hex("12 34 56").data()), "1193046");
}

// Values that do not fit in three bytes are refused rather than cut.
TEST(Uint24, OutOfRangeAndNonNumbersAreRefused) {
    const std::string range = " is out of range (0 to 16777215).";
    EXPECT_EQ(conversionMessage([] { hart::uint24FromText("16777216"); }), "'16777216'" + range);
    EXPECT_EQ(conversionMessage([] { hart::uint24FromText("-1"); }), "'-1'" + range);
    EXPECT_EQ(conversionMessage([] { hart::uint24FromText("99999999999"); }),
              "'99999999999'" + range);
    for (const char* text : {"", "abc", "1.5", "12 34"}) {
        EXPECT_EQ(conversionMessage([&] { hart::uint24FromText(text); }),
                  "'" + std::string(text) + "' is not a valid integer value.");
    }
}

// ---------------------------------------------------------------- PackedAscii

TEST(PackedAscii, TextsPackFourCharactersIntoThreeBytes) {
    struct Row {
        const char* text;
        int L;
        const char* bytes;
    };
    const std::vector<Row> rows{
        {"TT100", 8, "51 4C 70 C2 08 20"},
        // Lower case is raised: abc goes out as ABC (codes 01 02 03, then spaces).
        {"ABC", 8, "04 20 E0 82 08 20"},
        {"abc", 8, "04 20 E0 82 08 20"},
        {"tt100", 8, "51 4C 70 C2 08 20"},
        {"", 8, "82 08 20 82 08 20"},
        // Codes 3F, 1F and 00 exercise every bit of the packing.
        {"????____@@@@", 16, "FF FF FF 7D F7 DF 00 00 00 82 08 20"},
        // Longer texts are cut to L before anything else looks at them.
        {"TT100   EXTRA", 8, "51 4C 70 C2 08 20"},
        {"TT100   \xC3\xA9", 8, "51 4C 70 C2 08 20"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(hart::packedAsciiFromText(row.text, row.L), hex(row.bytes)) << row.text;
    }
}

TEST(PackedAscii, UnpacksToExactlyLCharacters) {
    EXPECT_EQ(hart::packedAsciiToText(hex("51 4C 70 C2 08 20").data(), 8), "TT100   ");
    // Bytes a lower-case "abc" produced before it was raised: ! " # and spaces.
    EXPECT_EQ(hart::packedAsciiToText(hex("86 28 E0 82 08 20").data(), 8), "!\"#     ");
    EXPECT_EQ(hart::packedAsciiToText(hex("FF FF FF 7D F7 DF 00 00 00 82 08 20").data(), 16),
              "????____@@@@    ");
    const std::vector<std::uint8_t> zeros(24, 0x00);
    EXPECT_EQ(hart::packedAsciiToText(zeros.data(), 32), std::string(32, '@'));
}

TEST(PackedAscii, MessagesAreCutOrPaddedToThirtyTwo) {
    const std::string forty = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG";
    const auto packed = hart::packedAsciiFromText(forty, 32);
    ASSERT_EQ(packed.size(), 24u);
    EXPECT_EQ(hart::packedAsciiToText(packed.data(), 32), forty.substr(0, 32));

    const auto shortMessage = hart::packedAsciiFromText("ABC", 32);
    EXPECT_EQ(hart::packedAsciiToText(shortMessage.data(), 32), "ABC" + std::string(29, ' '));
}

TEST(PackedAscii, EverySendableCharacterSurvivesTheRoundTrip) {
    std::string all;
    for (char c = ' '; c <= '_'; ++c)
        all += c;
    ASSERT_EQ(all.size(), 64u);
    for (std::size_t start = 0; start < all.size(); start += 32) {
        const std::string part = all.substr(start, 32);
        const auto packed = hart::packedAsciiFromText(part, 32);
        EXPECT_EQ(hart::packedAsciiToText(packed.data(), 32), part);
    }
}

TEST(PackedAscii, CharactersOutsideTheSixBitSetAreRefusedByName) {
    struct Row {
        const char* text;
        const char* named; // how the message names the character
    };
    const std::vector<Row> rows{
        {"T\xC3\xA9T", "'\xC3\xA9'"},       // é
        {"\xE2\x82\xAC", "'\xE2\x82\xAC'"}, // €
        {"A`B", "'`'"},
        {"{", "'{'"},
        {"|", "'|'"},
        {"}", "'}'"},
        {"~", "'~'"},
        {"A\tB", "U+0009"},
        {"\x7F", "U+007F"},
    };
    for (const Row& row : rows) {
        const std::string message =
            conversionMessage([&] { hart::packedAsciiFromText(row.text, 8); });
        EXPECT_NE(message.find(row.named), std::string::npos) << message;
        EXPECT_NE(message.find("cannot be sent"), std::string::npos) << message;
    }
    // A broken UTF-8 sequence is refused as well, not packed byte by byte.
    EXPECT_THROW(hart::packedAsciiFromText("A\xC3", 8), hart::ConversionError);
    EXPECT_THROW(hart::packedAsciiFromText("\xA9", 8), hart::ConversionError);
    // Only the shortest form of a character is UTF-8: an over-long 'a' or
    // space, a surrogate and a code past U+10FFFF are refused, not packed.
    for (const char* text : {"\xC1\xA1", "\xC0\xA0", "\xE0\x81\x81", "\xF0\x80\x81\x81",
                             "\xED\xA0\x80", "\xF4\x90\x80\x80"})
        EXPECT_EQ(conversionMessage([&] { hart::packedAsciiFromText(text, 8); }),
                  "The text is not valid UTF-8 and cannot be sent.")
            << text;
}

// ---------------------------------------------------------------- HartDate

TEST(HartDate, DayMonthAndYearSince1900) {
    struct Row {
        const char *day, *month, *year, *bytes;
    };
    const std::vector<Row> rows{
        {"1", "1", "2023", "01 01 7B"},
        {"31", "12", "1900", "1F 0C 00"},
        {"0", "13", "2155", "00 0D FF"},   // day and month go out as typed
        {"300", "07", "2000", "2C 07 64"}, // only their low byte
    };
    for (const Row& row : rows) {
        EXPECT_EQ(vec(hart::hartDateFromText(row.day, row.month, row.year)), hex(row.bytes))
            << row.day << "." << row.month << "." << row.year;
    }
}

TEST(HartDate, YearsOutside1900To2155AndNonNumbersAreRefused) {
    const std::string range = " is out of range (1900 to 2155).";
    EXPECT_EQ(conversionMessage([] { hart::hartDateFromText("1", "1", "1899"); }),
              "'1899'" + range);
    EXPECT_EQ(conversionMessage([] { hart::hartDateFromText("1", "1", "2156"); }),
              "'2156'" + range);
    EXPECT_EQ(conversionMessage([] { hart::hartDateFromText("1", "1", ""); }),
              "'' is not a valid integer value.");
    EXPECT_EQ(conversionMessage([] { hart::hartDateFromText("x", "1", "2023"); }),
              "'x' is not a valid integer value.");
    EXPECT_EQ(conversionMessage([] { hart::hartDateFromText("1", "1.", "2023"); }),
              "'1.' is not a valid integer value.");
}

TEST(HartDate, BytesToText) {
    struct Row {
        const char *bytes, *day, *month, *year;
    };
    const std::vector<Row> rows{
        {"01 01 7B", "1", "1", "2023"},
        {"FF FF FF", "255", "255", "2155"},
        {"00 00 00", "0", "0", "1900"},
    };
    for (const Row& row : rows) {
        const hart::DateText t = hart::hartDateToText(hex(row.bytes).data());
        EXPECT_EQ(t.day, row.day);
        EXPECT_EQ(t.month, row.month);
        EXPECT_EQ(t.year, row.year);
    }
}

// ---------------------------------------------------------------- KeyFilter

TEST(KeyFilter, AllowedCharactersMaximumLengthAndGate) {
    struct Row {
        const char* what;
        const hart::KeyFilterRule& rule;
        std::u32string before;
        char32_t key;
        bool keep;
        std::optional<bool> gate;
    };
    const std::vector<Row> rows{
        {"digit below the maximum", hart::kCurrentTrimFilter, U"20.0", U'0', true, true},
        {"field full: key discarded, SET disabled", hart::kCurrentTrimFilter, U"20.00", U'1', false,
         false},
        {"backspace is kept even when full", hart::kCurrentTrimFilter, U"20.00", hart::kBackspace,
         true, false},
        {"gate looks at the text before the key", hart::kCurrentTrimFilter, U"20.0",
         hart::kBackspace, true, true},
        {"letter discarded", hart::kCurrentTrimFilter, U"2", U'a', false, true},
        {"minus not allowed for a current", hart::kCurrentTrimFilter, U"", U'-', false, true},
        {"minus allowed for display adjustment", hart::kDisplayAdjustFilter, U"", U'-', true, true},
        {"Enter discarded", hart::kCurrentTrimFilter, U"2", U'\r', false, true},
        {"Ctrl+V discarded", hart::kDisplayAdjustFilter, U"2", char32_t{0x16}, false, true},
        {"no gate on the other current", hart::kOtherCurrentFilter, U"12.00", U'1', false, {}},
        {"other current takes a point", hart::kOtherCurrentFilter, U"12", U'.', true, {}},
        {"year: four digits", hart::kYearFilter, U"202", U'3', true, {}},
        {"year: fifth digit discarded", hart::kYearFilter, U"2023", U'1', false, {}},
        {"year: no point", hart::kYearFilter, U"2", U'.', false, {}},
        {"day: two digits", hart::kDayMonthFilter, U"12", U'3', false, {}},
        {"serial: five digits, SET off", hart::kSixDigitFilter, U"12345", U'6', true, false},
        {"serial: six digits, SET on", hart::kSixDigitFilter, U"123456", U'7', true, true},
        {"serial: seven digits, SET off", hart::kSixDigitFilter, U"1234567", U'8', true, false},
        {"serial: ten digits is full", hart::kSixDigitFilter, U"1234567890", U'1', false, false},
        {"serial: backspace at six", hart::kSixDigitFilter, U"123456", hart::kBackspace, true,
         true},
        {"non-ASCII key discarded", hart::kYearFilter, U"1", U'\u00E9', false, {}},
        // U+0130 has the low byte of '0': the key must not be narrowed before the check.
        {"wide key sharing a digit's low byte",
         hart::kYearFilter,
         U"1",
         char32_t{0x0130},
         false,
         {}},
    };
    for (const Row& row : rows) {
        const hart::KeyDecision d = hart::keyFilter(row.rule, row.before, row.key);
        EXPECT_EQ(d.keep, row.keep) << row.what;
        EXPECT_EQ(d.gateEnabled, row.gate) << row.what;
    }
}

// Typing into a current-trim field: "20.00" still shows SET enabled from the
// previous key; the next key is discarded and disables it; once a Backspace
// has brought the text to four characters the following key enables it again.
TEST(KeyFilter, GateFollowsTheTextAsTheUserTypes) {
    const auto press = [](std::u32string& text, char32_t key) {
        const hart::KeyDecision d = hart::keyFilter(hart::kCurrentTrimFilter, text, key);
        if (d.keep) {
            if (key == hart::kBackspace) {
                if (!text.empty()) text.pop_back();
            } else {
                text += key;
            }
        }
        return d.gateEnabled.value();
    };
    std::u32string text;
    for (const char32_t key : std::u32string_view(U"20.0"))
        EXPECT_TRUE(press(text, key));
    EXPECT_TRUE(press(text, U'0')); // "20.0" -> "20.00"
    EXPECT_EQ(text, U"20.00");
    EXPECT_FALSE(press(text, U'5')); // discarded
    EXPECT_EQ(text, U"20.00");
    EXPECT_FALSE(press(text, hart::kBackspace)); // "20.00" -> "20.0"
    EXPECT_EQ(text, U"20.0");
    EXPECT_TRUE(press(text, U'1'));
}

} // namespace
