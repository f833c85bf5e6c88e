#include "hart/typed_frame.h"

#include "hart/encodings.h"

#include <string>

namespace hart {

namespace {

// The two messages read as users know them; keep the spelling.
constexpr std::string_view kNoSpace = "NO SPACK";
constexpr std::string_view kBadDigit = "Data eeore!";
constexpr std::string_view kTooMany = "At most 15 bytes can be sent; nothing sent.";

// Byte i sits at 3i (high digit) and 3i+1 (low digit); 3i+2 is its separator.
constexpr std::size_t kGroup = 3;

bool isUpperHex(char32_t c) {
    return c >= U'A' && c <= U'F';
}

// Every position that is neither a high nor a low digit must hold a space:
// the separators, the optional one after the last byte, and a single
// character left over after the last full group.
bool onlySpacesBetweenBytes(std::u32string_view text) {
    for (std::size_t p = 0; p < text.size(); ++p) {
        const std::size_t high = p - p % kGroup;
        const bool digit = p % kGroup < 2 && high + 1 < text.size();
        if (!digit && text[p] != U' ') return false;
    }
    return true;
}

} // namespace

std::vector<std::uint8_t> parseTypedFrame(std::u32string_view text) {
    const std::size_t L = text.size();
    const std::size_t n = L / kGroup + (L % kGroup == 2 ? 1 : 0);
    if (n == 0 || !onlySpacesBetweenBytes(text)) throw ConversionError(std::string(kNoSpace));
    if (n > kMaxTypedBytes) throw ConversionError(std::string(kTooMany));

    std::vector<std::uint8_t> bytes;
    bytes.reserve(n);
    bool badDigit = false;
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t high = text[kGroup * i];
        const char32_t low = text[kGroup * i + 1];
        int h = 0;
        if (high >= U'0' && high <= U'9')
            h = static_cast<int>(high - U'0');
        else if (isUpperHex(high))
            h = static_cast<int>(high - U'A') + 10;
        else
            badDigit = true;
        int l = 0;
        if (isUpperHex(low)) {
            l = static_cast<int>(low - U'A') + 10;
        } else if (low <= U'9') {
            // The low digit goes through the integer conversion, so a character
            // below '0' (a space, a sign, a point) stops here with its error.
            l = parseInt(std::string(1, static_cast<char>(low)));
        } else {
            badDigit = true;
        }
        bytes.push_back(static_cast<std::uint8_t>(16 * h + l));
    }
    if (badDigit) throw ConversionError(std::string(kBadDigit));
    return bytes;
}

} // namespace hart
