// libFuzzer: the text and number conversions of the edit fields and reply
// values. Input: [which conversion][argument bytes...].
//
// Each conversion is judged against an independent reading of its rule: the
// C library's correctly rounded strtof, a strict UTF-8 decoder, plain integer
// arithmetic. FloatText is tried at every field length 1..20: a cut text in
// scientific notation keeps its exponent (or is the shortest form, sign,
// one digit and exponent, when even that does not fit).

#include "hart/encodings.h"
#include "tests/fuzz/check.h"

#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using fuzz::check;

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// ---- numbers

// Optional '-', then digits with at most one '.', and at least one digit.
bool decimalSyntax(std::string_view t) {
    if (!t.empty() && t.front() == '-') t.remove_prefix(1);
    int digits = 0, points = 0;
    for (const char c : t) {
        if (isDigit(c))
            ++digits;
        else if (c == '.')
            ++points;
        else
            return false;
    }
    return digits > 0 && points <= 1;
}

// The value a decimal text rounds to, or nothing when it is beyond the
// largest float.
std::optional<float> nearestFloat(std::string_view t) {
    const std::string text(t);
    const float v = std::strtof(text.c_str(), nullptr);
    if (std::isinf(v)) return std::nullopt;
    return v;
}

// Optional '-', then one or more digits; the value when it fits 64 bits
// comfortably, else a marker far outside every range checked.
std::optional<long long> integerValue(std::string_view t) {
    const bool negative = !t.empty() && t.front() == '-';
    if (negative) t.remove_prefix(1);
    if (t.empty()) return std::nullopt;
    for (const char c : t)
        if (!isDigit(c)) return std::nullopt;
    while (t.size() > 1 && t.front() == '0')
        t.remove_prefix(1);
    constexpr long long kFar = 100'000'000'000LL;
    const long long magnitude = t.size() > 11 ? kFar : std::stoll(std::string(t));
    return negative ? -magnitude : magnitude;
}

template <class F> std::optional<std::string> refusal(F&& f) {
    try {
        f();
    } catch (const hart::ConversionError& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

bool sameBits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

void parseFloatRule(std::string_view t) {
    std::optional<float> got;
    const auto refused = refusal([&] { got = hart::parseFloat(t); });
    const std::optional<float> want = decimalSyntax(t) ? nearestFloat(t) : std::nullopt;
    check(refused.has_value() == !want.has_value(), "a float text is taken exactly when valid");
    if (want) check(sameBits(*got, *want), "a float text rounds to the nearest float");
}

void parseIntRule(std::string_view t) {
    std::optional<std::int32_t> got;
    const auto refused = refusal([&] { got = hart::parseInt(t); });
    const auto v = integerValue(t);
    const bool fits = v && *v >= INT32_MIN && *v <= INT32_MAX;
    check(refused.has_value() == !fits, "an integer text is taken exactly when it fits 32 bits");
    if (fits) check(*got == *v, "an integer text keeps its value");
}

void wireFloatRule(std::string_view t) {
    std::array<std::uint8_t, 4> bytes{};
    const auto refused = refusal([&] { bytes = hart::wireFloatFromText(t); });
    const std::optional<float> want = decimalSyntax(t) ? nearestFloat(t) : std::nullopt;
    check(refused.has_value() == !want.has_value(), "a WireFloat text is taken exactly when valid");
    if (!want) return;
    const auto bits = std::bit_cast<std::uint32_t>(*want);
    const std::array<std::uint8_t, 4> msbFirst{
        static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
        static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
    check(bytes == msbFirst, "a WireFloat goes out most significant byte first");
    check(sameBits(hart::wireFloatToValue(bytes.data()), *want), "a WireFloat reads back");
}

void uint24Rule(std::string_view t) {
    std::array<std::uint8_t, 3> bytes{};
    const auto refused = refusal([&] { bytes = hart::uint24FromText(t); });
    const auto v = integerValue(t);
    const bool fits = v && *v >= 0 && *v <= 0xFFFFFF;
    check(refused.has_value() == !fits, "a Uint24 text is taken exactly when in 0..16777215");
    if (!fits) return;
    check(bytes[0] == (*v >> 16) && bytes[1] == ((*v >> 8) & 0xFF) && bytes[2] == (*v & 0xFF),
          "a Uint24 goes out most significant byte first");
    check(hart::uint24ToValue(bytes.data()) == *v, "a Uint24 reads back");
    check(hart::uint24ToText(bytes.data()) == std::to_string(*v), "a Uint24 shows its value");
}

// Day, month and year separated by '/'.
void hartDateRule(std::string_view t) {
    std::array<std::string_view, 3> parts{};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::size_t slash = i + 1 < parts.size() ? t.find('/') : std::string_view::npos;
        parts[i] = t.substr(0, slash);
        t = slash == std::string_view::npos ? std::string_view{} : t.substr(slash + 1);
    }
    std::array<std::uint8_t, 3> bytes{};
    const auto refused =
        refusal([&] { bytes = hart::hartDateFromText(parts[0], parts[1], parts[2]); });
    const auto d = integerValue(parts[0]), m = integerValue(parts[1]), y = integerValue(parts[2]);
    const auto int32 = [](const std::optional<long long>& v) {
        return v && *v >= INT32_MIN && *v <= INT32_MAX;
    };
    const bool valid = int32(d) && int32(m) && y && *y >= 1900 && *y <= 2155;
    check(refused.has_value() == !valid, "a date is taken exactly when its year is 1900..2155");
    if (!valid) return;
    check(bytes[0] == static_cast<std::uint8_t>(*d) && bytes[1] == static_cast<std::uint8_t>(*m) &&
              bytes[2] == *y - 1900,
          "day and month go out as their low byte, the year less 1900");
    check(hart::hartDateToText(bytes.data()).year == std::to_string(*y), "the year reads back");
}

// ---- PackedAscii

// Strict UTF-8: shortest form only, no surrogates, nothing above U+10FFFF.
std::optional<char32_t> nextStrict(std::string_view t, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(t[i]); };
    const unsigned lead = byte(pos);
    const std::size_t n = lead < 0x80   ? 1
                          : lead < 0xC2 ? 0
                          : lead < 0xE0 ? 2
                          : lead < 0xF0 ? 3
                          : lead < 0xF5 ? 4
                                        : 0;
    if (n == 0 || pos + n > t.size()) return std::nullopt;
    char32_t c = n == 1 ? lead : lead & (0xFFu >> (n + 1));
    for (std::size_t i = 1; i < n; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (byte(pos + i) & 0x3F);
    }
    constexpr std::array<char32_t, 5> kSmallest{0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[n] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return std::nullopt;
    pos += n;
    return c;
}

void packedAsciiRule(std::string_view t, int L) {
    std::vector<std::uint8_t> bytes;
    const auto refused = refusal([&] { bytes = hart::packedAsciiFromText(t, L); });
    // The characters a field of L holds, raised to upper case, padded with spaces.
    std::string want;
    bool valid = true;
    for (std::size_t pos = 0;
         valid && pos < t.size() && want.size() < static_cast<std::size_t>(L);) {
        std::optional<char32_t> c = nextStrict(t, pos);
        if (c && *c >= U'a' && *c <= U'z') *c -= U'a' - U'A';
        valid = c && *c >= 0x20 && *c <= 0x5F;
        if (valid) want += static_cast<char>(*c);
    }
    want.resize(static_cast<std::size_t>(L), ' ');
    check(refused.has_value() == !valid,
          "a text field is refused exactly for a character it cannot carry");
    if (!valid) return;
    check(bytes.size() == static_cast<std::size_t>(L) / 4 * 3, "four characters in three bytes");
    check(hart::packedAsciiToText(bytes.data(), L) == want, "a text field reads back");
}

// ---- FloatText

void floatTextRule(const std::array<std::uint8_t, 4>& bytes) {
    const float v = hart::wireFloatToValue(bytes.data());
    const std::string full = hart::floatTextOf(bytes.data());
    check(full == hart::floatText(v), "the whole text is the same from bytes and from the value");
    if (std::isnan(v)) {
        check(full == "NAN", "a NaN shows NAN");
    } else if (std::isinf(v)) {
        check(full == (v < 0 ? "-INF" : "INF"), "infinities show INF and -INF");
    } else {
        check(std::strtof(full.c_str(), nullptr) == v, "the whole text reads back as the value");
    }

    const std::size_t e = full.find('E');
    for (int n = 1; n <= 20; ++n) {
        const std::string cut = hart::floatText(v, n);
        const auto width = static_cast<std::size_t>(n);
        check(hart::floatTextOf(bytes.data(), n) == cut, "the cut is the same from bytes");
        check(hart::floatTextMarked(bytes.data(), n) == (bytes[0] == 0x7F ? "0.000" : cut),
              "the marker byte 0x7F shows 0.000, else the same text");
        if (full.size() <= width) {
            check(cut == full, "a text that fits is shown whole");
        } else if (e == std::string::npos) {
            check(cut == full.substr(0, width), "a plain text is cut to the field");
        } else {
            const std::string exponent = full.substr(e);
            check(cut.size() > exponent.size() &&
                      cut.compare(cut.size() - exponent.size(), exponent.size(), exponent) == 0,
                  "a cut scientific text keeps its exponent");
            const std::string mantissa = cut.substr(0, cut.size() - exponent.size());
            check(full.compare(0, mantissa.size(), mantissa) == 0 && mantissa.back() != '.',
                  "the mantissa is cut, without a trailing point");
            const std::size_t shortest = full.front() == '-' ? 2 : 1;
            if (mantissa.size() == shortest) {
                check(cut.size() <= width || shortest + exponent.size() > width,
                      "the shortest form is used only when nothing shorter fits");
            } else {
                // As many mantissa characters as fit, less a point that would end it.
                const bool pointDropped = full[mantissa.size()] == '.';
                check(cut.size() == width - (pointDropped ? 1 : 0), "the cut fills the field");
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return -1;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 7) {
    case 0:
        parseFloatRule(text);
        break;
    case 1:
        parseIntRule(text);
        break;
    case 2:
        wireFloatRule(text);
        break;
    case 3:
        uint24Rule(text);
        break;
    case 4:
        hartDateRule(text);
        break;
    case 5: {
        constexpr std::array kLengths{8, 16, 32}; // tag, descriptor, message
        packedAsciiRule(text, kLengths[(data[0] / 7) % kLengths.size()]);
        break;
    }
    case 6: {
        std::array<std::uint8_t, 4> bytes{};
        for (std::size_t i = 0; i < bytes.size() && i < text.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(text[i]);
        floatTextRule(bytes);
        break;
    }
    }
    return 0;
}
