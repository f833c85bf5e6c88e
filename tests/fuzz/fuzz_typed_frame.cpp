// libFuzzer: the manual command's typed text. The input is the text, one
// character per byte, except that 0xFF takes the next two bytes as one
// character (big-endian), so characters beyond Latin-1 are typed too.
//
// Oracles: an accepted text is exactly its bytes written as two upper-case
// hexadecimal digits each, one space between, with at most two spaces after
// the last byte; it holds 1..15 bytes; the bytes written out that way read
// back as themselves. Any refusal is a ConversionError. And the other way:
// up to 20 of the input's bytes written out that way are accepted as
// themselves when there are at most 15, refused with the 15-byte message
// otherwise.

#include "hart/encodings.h"
#include "hart/typed_frame.h"
#include "tests/fuzz/check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using fuzz::check;

namespace {

std::u32string written(const std::vector<std::uint8_t>& bytes) {
    static constexpr char32_t kDigits[] = U"0123456789ABCDEF";
    std::u32string text;
    for (const std::uint8_t b : bytes) {
        if (!text.empty()) text += U' ';
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> parsed(std::u32string_view text, std::string* refusal) {
    try {
        return hart::parseTypedFrame(text);
    } catch (const hart::ConversionError& e) {
        if (refusal) *refusal = e.what();
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u32string text;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && i + 2 < size) {
            text += static_cast<char32_t>((data[i + 1] << 8) | data[i + 2]);
            i += 2;
        } else {
            text += static_cast<char32_t>(data[i]);
        }
    }

    if (const auto bytes = parsed(text, nullptr)) {
        check(!bytes->empty() && bytes->size() <= hart::kMaxTypedBytes, "1 to 15 bytes are sent");
        const std::u32string canonical = written(*bytes);
        const bool spacesAfter =
            text.size() >= canonical.size() && text.size() <= canonical.size() + 2 &&
            std::all_of(text.begin() + static_cast<std::ptrdiff_t>(canonical.size()), text.end(),
                        [](char32_t c) { return c == U' '; });
        check(spacesAfter && text.compare(0, canonical.size(), canonical) == 0,
              "an accepted text is its bytes as typed, nothing left over");
        check(parsed(canonical, nullptr) == bytes, "the bytes written out read back");
    }

    const std::vector<std::uint8_t> bytes(data, data + std::min<std::size_t>(size, 20));
    if (bytes.empty()) return 0;
    std::string refusal;
    const auto back = parsed(written(bytes), &refusal);
    if (bytes.size() <= hart::kMaxTypedBytes)
        check(back == bytes, "up to 15 bytes written out are sent as themselves");
    else
        check(!back && refusal == "At most 15 bytes can be sent; nothing sent.",
              "16 bytes and more are refused as too many, nothing dropped");
    return 0;
}
