// The manual command's typed text: which texts give which bytes, and which are
// refused with which message (nothing is sent then).

#include "hart/encodings.h"
#include "hart/typed_frame.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using hart_test::hex;

constexpr const char* kNoSpace = "NO SPACK";
constexpr const char* kBadDigit = "Data eeore!";
constexpr const char* kTooMany = "At most 15 bytes can be sent; nothing sent.";

// Either the bytes to send or the refusal's message.
std::string outcome(std::u32string_view text) {
    try {
        const auto bytes = hart::parseTypedFrame(text);
        std::string hexText;
        for (const std::uint8_t b : bytes) {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            if (!hexText.empty()) hexText += ' ';
            hexText += kDigits[b >> 4];
            hexText += kDigits[b & 0x0F];
        }
        return "sends " + hexText;
    } catch (const hart::ConversionError& e) {
        return e.what();
    }
}

std::u32string typed(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

// n bytes 00 01 02 ... as typed, separated by spaces.
std::string byteRun(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        if (i > 0) text += ' ';
        text += kDigits[i >> 4];
        text += kDigits[i & 0x0F];
    }
    return text;
}

struct Row {
    const char* rule;
    std::string text;
    std::string expected; // "sends ..." or the message
};

TEST(TypedFrame, EveryRuleOfTheTypedText) {
    const std::vector<Row> rows{
        {"command 0, short frame", "02 80 00 00", "sends 02 80 00 00"},
        {"last byte needs no space after it", "02 80", "sends 02 80"},
        {"one space after the last byte changes nothing", "02 80 ", "sends 02 80"},
        {"a space left over after that is a space too", "02 80  ", "sends 02 80"},
        {"one byte", "FF", "sends FF"},
        {"all upper-case hex digits", "AB CD EF 09", "sends AB CD EF 09"},
        {"empty text", "", kNoSpace},
        {"one character", "0", kNoSpace},
        {"a lone space", " ", kNoSpace},
        {"no spaces", "7689FDAD", kNoSpace},
        {"leftover digit after a full group", "02 80 0", kNoSpace},
        {"two bytes typed without their space", "0280", kNoSpace},
        {"a stray character in place of the last space", "02 80X", kNoSpace},
        {"a leftover character after the trailing space", "02 80 X", kNoSpace},
        {"a separator that is not a space", "02-80", kNoSpace},
        {"two spaces between bytes", "02  80", kNoSpace},
        {"15 bytes", byteRun(15), "sends " + byteRun(15)},
        {"15 bytes and a trailing space", byteRun(15) + " ", "sends " + byteRun(15)},
        {"16 bytes", byteRun(16), kTooMany},
        {"16 bytes and a trailing space", byteRun(16) + " ", kTooMany},
        {"40 bytes", byteRun(40), kTooMany},
        {"a missing space beats the count", byteRun(16) + "0", kNoSpace},
        {"lower-case low digit", "02 8a 00", kBadDigit},
        {"lower-case high digit", "a2", kBadDigit},
        {"high digit outside 0-9/A-F", "G0", kBadDigit},
        {"low digit above 9 other than A-F", "0G", kBadDigit},
        {"high digit below 0", "-1", kBadDigit},
        {"a bad digit is judged after all bytes", "0G 0+", "'+' is not a valid integer value."},
        {"low digit below 0 fails at once", "0.", "'.' is not a valid integer value."},
        {"a space as low digit", "0 ", "' ' is not a valid integer value."},
        {"two spaces form a byte of spaces", "02   ", "' ' is not a valid integer value."},
        {"digits are counted as 16 x high + low", "10 01 F0 0F", "sends 10 01 F0 0F"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(outcome(typed(row.text)), row.expected) << row.rule << ": \"" << row.text << '"';
}

TEST(TypedFrame, CharactersBeyondAsciiAreRefusedNotTruncated) {
    // U+0130 and U+0141 would become '0' and 'A' if cut to 8 bits.
    EXPECT_EQ(outcome(U"0\u0130"), kBadDigit);
    EXPECT_EQ(outcome(U"\u0141A"), kBadDigit);
    EXPECT_EQ(outcome(U"02\u3000"
                      U"80"),
              kNoSpace); // ideographic space is no separator
}

TEST(TypedFrame, BytesComeOutInOrder) {
    EXPECT_EQ(hart::parseTypedFrame(U"82 A6 05 01 02 03 03 00"), hex("82 A6 05 01 02 03 03 00"));
}

} // namespace
