#pragma once
// Locating a reply in the receive area, and judging write replies.

#include "hart/link_buffer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hart {

inline constexpr std::uint8_t kLongReply = 0x86;
inline constexpr std::uint8_t kShortReply = 0x06;

// One scan: K runs from `first` to `last` (or to the scan limit L when `last`
// is unset) and the first K with LinkBuffer[K] == 0xFF and
// LinkBuffer[K+1] == delimiter, plus the optional command (K+7) and byte
// count (K+8) conditions, is the anchor.
struct Scan {
    std::uint8_t delimiter = kLongReply;
    int first = 0;
    std::optional<int> last;           // unset: bounded by L
    std::optional<std::uint8_t> command;   // required value at K+7
    std::optional<std::uint8_t> byteCount; // required value at K+8
};

inline constexpr Scan kStandardScan{};                                   // long reply, 0..L
inline constexpr Scan kShortStandardScan{kShortReply};                   // device-ID query, 0..L
inline constexpr Scan kDiscoveryScan{kShortReply, 1};                    // 1..L
inline constexpr Scan kFixedWindowScan{kLongReply, 0, 10};               // 0..10 whatever L is

// Returns K, or nothing when no position matches.
std::optional<int> locate(const LinkBuffer& b, int L, const Scan& scan = kStandardScan);

// Response-code text of a write reply. `krohne` selects the variant table
// that adds 12 -> "Write failed!Invalid parameter settings".
std::string_view responseCodeMessage(std::uint8_t code, bool krohne = false);

// Generic write result: standard scan; "Write failed!" when no reply is found,
// else the message for LinkBuffer[K+9].
std::string writeResult(const LinkBuffer& b, int L, bool krohne = false);

} // namespace hart
