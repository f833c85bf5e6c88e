#pragma once
// Locating a reply in the receive area, and judging write replies.

#include "hart/link_buffer.h"
#include "hart/protocol.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hart {


// One scan: K runs from `first` to `last` (or to the scan limit L when `last`
// is unset) and the first K with LinkBuffer[K] == 0xFF and
// LinkBuffer[K+1] == delimiter, plus the optional command (K+7) and byte
// count (K+8) conditions, is the anchor.
struct Scan {
    std::uint8_t delimiter = kLongReply;
    int first = 0;
    std::optional<int> last;               // unset: bounded by L
    std::optional<std::uint8_t> command;   // required value at K+7
    std::optional<std::uint8_t> byteCount; // required value at K+8
};

// Every field is spelled out: -Wextra (-Wmissing-field-initializers) rejects
// partial aggregate initialisation under -Werror.
//
// Long reply, 0..L.
inline constexpr Scan kStandardScan{kLongReply, 0, std::nullopt, std::nullopt, std::nullopt};
// Device-ID query, 0..L.
inline constexpr Scan kShortStandardScan{kShortReply, 0, std::nullopt, std::nullopt, std::nullopt};
// Discovery, 1..L.
inline constexpr Scan kDiscoveryScan{kShortReply, 1, std::nullopt, std::nullopt, std::nullopt};
// 0..10 whatever L is (E+H replies 2145, 2147, 2149).
inline constexpr Scan kFixedWindowScan{kLongReply, 0, 10, std::nullopt, std::nullopt};
// Rosemount 644 sensor query (ReplyCode 1181): 0..L, command 31, byte count 13.
inline constexpr Scan kRosemount644SensorScan{kLongReply, 0, std::nullopt, 31, 13};
// KROHNE TT50C read (ReplyCode 521): 0..10, byte count 14.
inline constexpr Scan kKrohneReadScan{kLongReply, 0, 10, std::nullopt, 14};
// ABB TTH200 read (ReplyCode 525): 0..10, byte count 6.
inline constexpr Scan kAbbReadScan{kLongReply, 0, 10, std::nullopt, 6};

// Returns K, or nothing when no position matches. The upper bound is never
// taken above 251, the largest L a reception of at most 255 bytes can give.
std::optional<int> locate(const LinkBuffer& b, int L, const Scan& scan = kStandardScan);

// A located reply's own checks, made before any of its bytes is shown: its
// byte count covers both status bytes, every byte it counts and its checksum
// were received (`received` bytes from index 0), and the checksum (XOR of the
// delimiter through the last data byte) is right.
enum class ReplyDefect { None, NoStatusBytes, PastReceived, ChecksumWrong };
ReplyDefect checkReply(const LinkBuffer& b, int K, std::uint8_t delimiter, int received);
// "reply checksum wrong", ...; empty for None.
std::string_view defectText(ReplyDefect defect);
// Data bytes (after the two status bytes) a located reply carries.
int dataBytesOf(const LinkBuffer& b, int K, std::uint8_t delimiter);

// Response-code text of a write reply. `krohne` selects the variant table
// that adds 12 -> "Write failed!Invalid parameter settings".
std::string_view responseCodeMessage(std::uint8_t code, bool krohne = false);

// Generic write result: standard scan; "Write failed!" when no reply is found,
// "Write failed! (<defect>)" when the reply fails its checks, else the
// message for its response code. `received` is the length of the last chunk.
std::string writeResult(const LinkBuffer& b, int received, bool krohne = false);

} // namespace hart
