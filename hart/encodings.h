#pragma once
// Value encodings inside HART data fields, both directions, and the keyboard
// filter of the numeric edit fields. Plain functions: no state, no Qt.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace hart {

// A typed value that cannot be encoded. what() is the text shown to the user,
// e.g. "'abc' is not a valid floating point value."
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Decimal number: optional leading '-', digits with at most one '.', at
// least one digit. Throws ConversionError.
float parseFloat(std::string_view text);
// Decimal integer up to 2147483647 (optional leading '-'). Throws ConversionError.
std::int32_t parseInt(std::string_view text);

// ---- WireFloat: IEEE-754 single precision, most significant byte first.
std::array<std::uint8_t, 4> wireFloatFromValue(float v);
std::array<std::uint8_t, 4> wireFloatFromText(std::string_view text); // throws
float wireFloatToValue(std::span<const std::uint8_t, 4> bytes);
float wireFloatToValue(const std::uint8_t* bytes); // reads 4 bytes

// ---- FloatText: 15 significant digits, plain or scientific, "INF"/"NAN".
// `n` cuts the text to its first n characters (a cut, not a rounding). A text
// in scientific notation keeps its exponent: the mantissa is cut so that
// mantissa + "E" + exponent fit n ("4.99999E-5" in 10), without a trailing
// point ("4E-5" in 5); when not even one digit and the exponent fit, that
// shortest form is returned whole ("1E20" for n = 3).
std::string floatText(float v, std::optional<int> n = std::nullopt);
// With the marker option: a first byte of 0x7F shows "0.000".
std::string floatTextMarked(const std::uint8_t* bytes, std::optional<int> n = std::nullopt);
// Without the marker option, from the 4 wire bytes.
std::string floatTextOf(const std::uint8_t* bytes, std::optional<int> n = std::nullopt);

// ---- Uint24: 0..16777215, most significant byte first.
std::array<std::uint8_t, 3> uint24FromText(std::string_view text); // throws, also above 16777215
std::string uint24ToText(const std::uint8_t* bytes);
std::uint32_t uint24ToValue(const std::uint8_t* bytes);
// Two bytes, most significant first.
std::uint16_t uint16ToValue(const std::uint8_t* bytes);

// ---- PackedAscii: 6-bit characters, four in three bytes; L is 8, 16 or 32.
// Lower case is raised to upper case; any other character outside
// ' '..'_' (text is UTF-8) throws ConversionError naming it. Longer texts
// are cut to L first, so characters past L are never judged. L not a
// positive multiple of 4: std::invalid_argument.
std::vector<std::uint8_t> packedAsciiFromText(std::string_view text, int L);
std::string packedAsciiToText(const std::uint8_t* bytes, int L); // exactly L characters

// ---- HartDate: day, month, year-1900.
// Throws ConversionError for non-numbers and years outside 1900..2155.
std::array<std::uint8_t, 3> hartDateFromText(std::string_view day, std::string_view month,
                                             std::string_view year);
struct DateText {
    std::string day, month, year;
};
DateText hartDateToText(const std::uint8_t* bytes);

// ---- HartTime: unsigned 32 bits counting 1/32 ms, a time of day since
// midnight or a duration.
inline constexpr std::uint32_t kHartTimeTicksPerMs = 32;
inline constexpr std::uint32_t kHartTimeTicksPerDay = 24u * 60 * 60 * 1000 * kHartTimeTicksPerMs;
// "hh:mm:ss.mmm", the part of a millisecond dropped; nothing for a value
// of a day or more, which is no time of day.
std::optional<std::string> hartTimeText(std::uint32_t ticks);
// "hh:mm", "hh:mm:ss" or "hh:mm:ss.f" with one to three digits of the
// second's fraction. Throws ConversionError for anything else, and for
// hours above 23 or minutes or seconds above 59.
std::uint32_t hartTimeFromText(std::string_view text);
// A duration in seconds (an acquisition period, a burst period).
double hartTimeSeconds(std::uint32_t ticks);

// ---- KeyFilter of the numeric edit fields.
enum class Gate { None, AtMost4, Exactly6 };
struct KeyFilterRule {
    std::string_view allowed; // allowed characters besides Backspace
    int maxLength;
    Gate gate;
};
// Edit9, Edit10
inline constexpr KeyFilterRule kCurrentTrimFilter{"0123456789.", 5, Gate::AtMost4};
// Edit7
inline constexpr KeyFilterRule kOtherCurrentFilter{"0123456789.", 5, Gate::None};
// Edit13, Edit19
inline constexpr KeyFilterRule kDisplayAdjustFilter{"0123456789.-", 5, Gate::AtMost4};
// Edit24
inline constexpr KeyFilterRule kYearFilter{"0123456789", 4, Gate::None};
// Edit25, Edit29
inline constexpr KeyFilterRule kDayMonthFilter{"0123456789", 2, Gate::None};
// Edit26, Edit28
inline constexpr KeyFilterRule kSixDigitFilter{"0123456789", 10, Gate::Exactly6};

inline constexpr char32_t kBackspace = 0x08;

struct KeyDecision {
    bool keep;                       // the key takes effect
    std::optional<bool> gateEnabled; // new enabled state of the gated SET button
};
// `key` is the typed character (kBackspace for Backspace; any other control
// character for the remaining control keys). `textBefore` is the field's
// text before the key takes effect.
KeyDecision keyFilter(const KeyFilterRule& rule, std::u32string_view textBefore, char32_t key);

} // namespace hart
