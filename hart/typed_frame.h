#pragma once
// The manual command's text: a HART frame typed as hexadecimal bytes, from the
// delimiter to the last data byte ("02 80 00 00"). Preambles and checksum are
// added by the frame builder, not typed.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace hart {

inline constexpr std::size_t kMaxTypedBytes = 15;

// Each byte is two digits 0-9/A-F, bytes separated by one space; a space may
// follow the last byte. Every other character is refused, so nothing typed is
// ever silently dropped. Throws ConversionError, nothing to send, with:
//  - "NO SPACK": no byte at all, or a character that should be a space is not
//    (a missing separator, a stray character after the last byte);
//  - "At most 15 bytes can be sent; nothing sent." for 16 or more bytes;
//  - "Data eeore!": a digit that is not 0-9/A-F (lower case included), judged
//    after every byte has been looked at;
//  - the integer conversion error ("' ' is not a valid integer value.") at
//    once when a byte's second digit is a character below '0'.
std::vector<std::uint8_t> parseTypedFrame(std::u32string_view text);

} // namespace hart
