#include "hart/encodings.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace hart {

namespace {

// ---------------------------------------------------------------- numbers

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

[[noreturn]] void throwNotFloat(std::string_view text) {
    throw ConversionError(quoted(text) + " is not a valid floating point value.");
}

[[noreturn]] void throwNotInteger(std::string_view text) {
    throw ConversionError(quoted(text) + " is not a valid integer value.");
}

[[noreturn]] void throwOutOfRange(std::string_view text, long long low, long long high) {
    throw ConversionError(quoted(text) + " is out of range (" + std::to_string(low) + " to " +
                          std::to_string(high) + ").");
}

// Optional '-', then one or more digits. The value saturates far beyond any
// range checked here, so over-long digit strings stay out of range rather than wrap.
std::optional<long long> parseIntegerSyntax(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), isDigit)) return std::nullopt;
    constexpr long long kSaturation = 1'000'000'000'000LL;
    long long value = 0;
    for (const char c : digits)
        value = std::min(value * 10 + (c - '0'), kSaturation);
    return negative ? -value : value;
}

// A decimal integer that must lie in [low, high]: not a number gives the
// integer conversion error, a number outside the range says so.
long long parseIntegerIn(std::string_view text, long long low, long long high) {
    const std::optional<long long> value = parseIntegerSyntax(text);
    if (!value) throwNotInteger(text);
    if (*value < low || *value > high) throwOutOfRange(text, low, high);
    return *value;
}

// ---------------------------------------------------------------- FloatText

constexpr int kSignificantDigits = 15;
// Scientific form below 1E-4 and from 1E15 on (more than 15 integer digits).
constexpr int kLowestPlainExponent = -4;
constexpr int kHighestPlainExponent = kSignificantDigits - 1;

// Significant digits of |v| rounded to 15 places, trailing zeros dropped, and
// the decimal exponent of the first digit. v is finite and not zero.
struct Decimal15 {
    std::string digits;
    int exponent;
};

Decimal15 roundTo15Digits(double v) {
    // A single-precision value widened to double has at most 105 significant
    // decimal digits (the smallest subnormal), so 120 digits are the exact value
    // and the rounding below is a single, correct rounding.
    constexpr int kExactDigits = 120;
    std::array<char, 160> buf{};
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(v),
                                         std::chars_format::scientific, kExactDigits);
    const std::string_view exact(buf.data(), static_cast<std::size_t>(end - buf.data()));
    // exact = "d.ddd...de[+-]xx"
    const std::size_t e = exact.find('e');
    std::string all = std::string(1, exact[0]) + std::string(exact.substr(2, e - 2));
    int exponent = 0;
    std::from_chars(exact.data() + e + (exact[e + 1] == '+' ? 2 : 1), exact.data() + exact.size(),
                    exponent);

    std::string digits = all.substr(0, kSignificantDigits);
    // Halves round away from zero, as a decimal display usually does.
    if (all[kSignificantDigits] >= '5') {
        int i = kSignificantDigits - 1;
        while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9')
            digits[static_cast<std::size_t>(i--)] = '0';
        if (i < 0) {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++exponent;
        } else {
            ++digits[static_cast<std::size_t>(i)];
        }
    }
    digits.erase(digits.find_last_not_of('0') + 1);
    return {digits, exponent};
}

std::string scientificText(const Decimal15& d) {
    std::string text = d.digits.substr(0, 1);
    if (d.digits.size() > 1) text += "." + d.digits.substr(1);
    return text + "E" + std::to_string(d.exponent);
}

std::string plainText(const Decimal15& d) {
    if (d.exponent < 0)
        return "0." + std::string(static_cast<std::size_t>(-d.exponent - 1), '0') + d.digits;
    const auto intDigits = static_cast<std::size_t>(d.exponent) + 1;
    if (d.digits.size() <= intDigits)
        return d.digits + std::string(intDigits - d.digits.size(), '0');
    return d.digits.substr(0, intDigits) + "." + d.digits.substr(intDigits);
}

std::string fullFloatText(float v) {
    // Signalling NaNs included: both kinds of NaN only ever get displayed.
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    if (v == 0.0f) return "0";
    const Decimal15 d = roundTo15Digits(static_cast<double>(v));
    const std::string body =
        (d.exponent < kLowestPlainExponent || d.exponent > kHighestPlainExponent)
            ? scientificText(d)
            : plainText(d);
    return std::signbit(v) ? "-" + body : body;
}

// A field of n characters shows the first n characters of the text. In
// scientific notation that would drop the exponent and show a value wrong by
// orders of magnitude, so there the mantissa is cut instead and the exponent
// kept; when not even sign, first digit and exponent fit, that shortest form
// is shown whole (the field grows rather than lie).
std::string cut(std::string text, std::optional<int> n) {
    if (!n) return text;
    const auto width = static_cast<std::size_t>(std::max(*n, 0));
    if (text.size() <= width) return text;
    const std::size_t e = text.find('E');
    if (e == std::string::npos) {
        text.resize(width);
        return text;
    }
    const std::string exponent = text.substr(e);
    const std::size_t shortest = text.front() == '-' ? 2 : 1; // sign and first digit
    std::string mantissa =
        text.substr(0, std::max(shortest, width - std::min(width, exponent.size())));
    if (mantissa.back() == '.') mantissa.pop_back();
    return mantissa + exponent;
}

std::array<std::uint8_t, 4> readFour(const std::uint8_t* bytes) {
    return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

// ---------------------------------------------------------------- PackedAscii

constexpr char32_t kFirstPackable = 0x20; // space
constexpr char32_t kLastPackable = 0x5F;  // underscore
constexpr std::uint8_t kSixBits = 0x3F;

constexpr std::string_view kPackableHint = "use A\xE2\x80\x93Z, 0\xE2\x80\x93"
                                           "9, space and !\"#$%&'()*+,-./:;<=>?@[\\]^_ only.";

struct Utf8Char {
    char32_t code;
    std::string_view bytes;
};

// Next UTF-8 character of `text` from `pos`; throws on a malformed sequence.
// Only the shortest encoding of a character counts: C1 A1 is not a disguised
// 'a' (it would otherwise be sent as 'A'), nor is ED A0 80 a character at all.
Utf8Char nextUtf8(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x06 ? 2
                               : (lead >> 4) == 0x0E ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || pos + length > text.size())
        throw ConversionError("The text is not valid UTF-8 and cannot be sent.");
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80)
            throw ConversionError("The text is not valid UTF-8 and cannot be sent.");
        code = (code << 6) | (next & 0x3F);
    }
    constexpr std::array<char32_t, 5> kSmallest{0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (code < kSmallest[length] || surrogate || code > 0x10FFFF)
        throw ConversionError("The text is not valid UTF-8 and cannot be sent.");
    const Utf8Char c{code, text.substr(pos, length)};
    pos += length;
    return c;
}

std::string characterName(const Utf8Char& c) {
    if (c.code < 0x20 || (c.code >= 0x7F && c.code < 0xA0)) {
        std::array<char, 16> buf{};
        std::snprintf(buf.data(), buf.size(), "U+%04X", static_cast<unsigned>(c.code));
        return buf.data();
    }
    return quoted(c.bytes);
}

// 6-bit HART code of one character of a text field.
std::uint8_t packedCode(const Utf8Char& c) {
    char32_t code = c.code;
    if (code >= 'a' && code <= 'z') code -= 'a' - 'A';
    if (code < kFirstPackable || code > kLastPackable)
        throw ConversionError("The character " + characterName(c) +
                              " cannot be sent in a HART text field; " +
                              std::string(kPackableHint));
    return static_cast<std::uint8_t>(code & kSixBits);
}

void checkPackedLength(int L) {
    if (L <= 0 || L % 4 != 0)
        throw std::invalid_argument("PackedAscii: field length must be a positive multiple of 4");
}

} // namespace

// ---------------------------------------------------------------- numbers

float parseFloat(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view body = negative ? text.substr(1) : text;
    const auto points = std::count(body.begin(), body.end(), '.');
    const auto digits = std::count_if(body.begin(), body.end(), isDigit);
    if (digits == 0 || points > 1 || static_cast<std::size_t>(digits + points) != body.size())
        throwNotFloat(text);

    // from_chars rounds the decimal straight to the nearest float (ties to
    // even), with no intermediate double rounding.
    float value = 0.0f;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (end != text.data() + text.size()) throwNotFloat(text);
    if (ec == std::errc::result_out_of_range) {
        // Any non-zero digit before the point means too large; otherwise the
        // value is below the smallest float and rounds to zero.
        const std::string_view integerPart = body.substr(0, body.find('.'));
        if (integerPart.find_first_not_of('0') != std::string_view::npos)
            throw ConversionError(quoted(text) +
                                  " is too large for a single-precision floating point value.");
        value = negative ? -0.0f : 0.0f;
    }
    return value;
}

std::int32_t parseInt(std::string_view text) {
    // Beyond 32 bits a text is simply not an integer, as the usual conversion has it.
    const std::optional<long long> value = parseIntegerSyntax(text);
    if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max())
        throwNotInteger(text);
    return static_cast<std::int32_t>(*value);
}

// ---------------------------------------------------------------- WireFloat

std::array<std::uint8_t, 4> wireFloatFromValue(float v) {
    const auto bits = std::bit_cast<std::uint32_t>(v);
    return {static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
            static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
}

std::array<std::uint8_t, 4> wireFloatFromText(std::string_view text) {
    return wireFloatFromValue(parseFloat(text));
}

float wireFloatToValue(std::span<const std::uint8_t, 4> bytes) {
    const std::uint32_t bits = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                               (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
    return std::bit_cast<float>(bits);
}

float wireFloatToValue(const std::uint8_t* bytes) {
    return wireFloatToValue(std::span<const std::uint8_t, 4>(bytes, 4));
}

// ---------------------------------------------------------------- FloatText

std::string floatText(float v, std::optional<int> n) {
    return cut(fullFloatText(v), n);
}

std::string floatTextMarked(const std::uint8_t* bytes, std::optional<int> n) {
    // Instruments put 0x7F in the first byte of a variable they cannot supply.
    if (bytes[0] == 0x7F) return "0.000";
    return floatTextOf(bytes, n);
}

std::string floatTextOf(const std::uint8_t* bytes, std::optional<int> n) {
    const auto four = readFour(bytes);
    return floatText(wireFloatToValue(four), n);
}

// ---------------------------------------------------------------- Uint24

std::array<std::uint8_t, 3> uint24FromText(std::string_view text) {
    constexpr long long kMax = 0xFFFFFF;
    const auto v = static_cast<std::uint32_t>(parseIntegerIn(text, 0, kMax));
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}

std::uint32_t uint24ToValue(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 16) | (std::uint32_t{bytes[1]} << 8) | bytes[2];
}

std::uint16_t uint16ToValue(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

std::string uint24ToText(const std::uint8_t* bytes) {
    return std::to_string(uint24ToValue(bytes));
}

// ---------------------------------------------------------------- PackedAscii

std::vector<std::uint8_t> packedAsciiFromText(std::string_view text, int L) {
    checkPackedLength(L);
    const auto length = static_cast<std::size_t>(L);
    std::vector<std::uint8_t> codes(length, static_cast<std::uint8_t>(' ' & kSixBits));
    std::size_t pos = 0;
    for (std::size_t i = 0; i < length && pos < text.size(); ++i)
        codes[i] = packedCode(nextUtf8(text, pos));

    std::vector<std::uint8_t> bytes;
    bytes.reserve(length / 4 * 3);
    for (std::size_t i = 0; i < length; i += 4) {
        const std::uint8_t a = codes[i], b = codes[i + 1], c = codes[i + 2], d = codes[i + 3];
        bytes.push_back(static_cast<std::uint8_t>((a << 2) | (b >> 4)));
        bytes.push_back(static_cast<std::uint8_t>(((b & 0x0F) << 4) | (c >> 2)));
        bytes.push_back(static_cast<std::uint8_t>(((c & 0x03) << 6) | d));
    }
    return bytes;
}

std::string packedAsciiToText(const std::uint8_t* bytes, int L) {
    checkPackedLength(L);
    // Codes below 0x20 stand for '@', 'A'..'Z' and '['..'_'.
    const auto character = [](unsigned code) {
        return static_cast<char>(code < 0x20 ? code + 0x40 : code);
    };
    std::string text;
    text.reserve(static_cast<std::size_t>(L));
    for (std::size_t i = 0; i < static_cast<std::size_t>(L) / 4 * 3; i += 3) {
        const unsigned x = bytes[i], y = bytes[i + 1], z = bytes[i + 2];
        text += character(x >> 2);
        text += character(((x & 0x03) << 4) | (y >> 4));
        text += character(((y & 0x0F) << 2) | (z >> 6));
        text += character(z & kSixBits);
    }
    return text;
}

// ---------------------------------------------------------------- HartDate

std::array<std::uint8_t, 3> hartDateFromText(std::string_view day, std::string_view month,
                                             std::string_view year) {
    constexpr long long kFirstYear = 1900;
    constexpr long long kLastYear = kFirstYear + 255;
    // Day and month go out as typed (their low byte); the instrument judges them.
    const auto d = static_cast<std::uint8_t>(parseInt(day));
    const auto m = static_cast<std::uint8_t>(parseInt(month));
    const auto y =
        static_cast<std::uint8_t>(parseIntegerIn(year, kFirstYear, kLastYear) - kFirstYear);
    return {d, m, y};
}

DateText hartDateToText(const std::uint8_t* bytes) {
    return {std::to_string(bytes[0]), std::to_string(bytes[1]), std::to_string(bytes[2] + 1900)};
}

// ---------------------------------------------------------------- HartTime

std::optional<std::string> hartTimeText(std::uint32_t ticks) {
    if (ticks >= kHartTimeTicksPerDay) return std::nullopt;
    const std::uint32_t ms = ticks / kHartTimeTicksPerMs;
    std::array<char, 16> buf{};
    std::snprintf(buf.data(), buf.size(), "%02u:%02u:%02u.%03u", ms / 3'600'000, ms / 60'000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return std::string(buf.data());
}

std::uint32_t hartTimeFromText(std::string_view text) {
    const auto fail = [text]() -> std::uint32_t {
        throw ConversionError(quoted(text) + " is not a time of day (hh:mm:ss.mmm).");
    };
    // One or two digits, at most `highest`.
    const auto field = [&](std::string_view part, unsigned highest) -> unsigned {
        if (part.empty() || part.size() > 2 || !std::all_of(part.begin(), part.end(), isDigit))
            fail();
        unsigned value = 0;
        for (const char c : part)
            value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > highest) fail();
        return value;
    };

    const std::size_t point = text.find('.');
    const std::string_view clock = text.substr(0, point);
    unsigned ms = 0;
    if (point != std::string_view::npos) {
        const std::string_view fraction = text.substr(point + 1);
        if (fraction.empty() || fraction.size() > 3 ||
            !std::all_of(fraction.begin(), fraction.end(), isDigit))
            fail();
        for (std::size_t i = 0; i < 3; ++i)
            ms = ms * 10 + (i < fraction.size() ? static_cast<unsigned>(fraction[i] - '0') : 0);
    }

    const std::size_t first = clock.find(':');
    if (first == std::string_view::npos) fail();
    const std::size_t second = clock.find(':', first + 1);
    // A fraction belongs to the seconds; "hh:mm.5" has none to belong to.
    if (second == std::string_view::npos && point != std::string_view::npos) fail();
    const unsigned hours = field(clock.substr(0, first), 23);
    const unsigned minutes = field(clock.substr(first + 1, second - first - 1), 59);
    const unsigned seconds =
        second == std::string_view::npos ? 0 : field(clock.substr(second + 1), 59);
    const std::uint32_t totalMs = ((hours * 60 + minutes) * 60 + seconds) * 1000 + ms;
    return totalMs * kHartTimeTicksPerMs;
}

double hartTimeSeconds(std::uint32_t ticks) {
    return static_cast<double>(ticks) / (1000.0 * kHartTimeTicksPerMs);
}

// ---------------------------------------------------------------- KeyFilter

KeyDecision keyFilter(const KeyFilterRule& rule, std::u32string_view textBefore, char32_t key) {
    bool keep = true;
    if (key != kBackspace) {
        const bool allowed =
            key < 0x80 && rule.allowed.find(static_cast<char>(key)) != std::string_view::npos;
        keep = allowed && textBefore.size() < static_cast<std::size_t>(rule.maxLength);
    }

    std::optional<bool> gate;
    switch (rule.gate) {
    case Gate::None:
        break;
    case Gate::AtMost4:
        gate = textBefore.size() <= 4;
        break;
    case Gate::Exactly6:
        gate = textBefore.size() == 6;
        break;
    }
    return {keep, gate};
}

} // namespace hart
