#pragma once
// The smaller universal and common-practice commands a HART 7 device page
// sends: loop configuration, configuration change counter, long tag,
// real-time clock, communication statistics and squawk. Decoders take the
// reply data after the two status bytes and give nothing for a reply too
// short for its layout; they never read past it.

#include "hart/protocol.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace hart {

// ---- Commands 6 and 7: polling address and loop current mode (HART 6+).

struct LoopConfiguration {
    std::uint8_t pollAddress = 0;
    std::uint8_t loopCurrentMode = 0; // 0 disabled (fixed at 4 mA), 1 enabled
};
inline constexpr std::uint8_t kLoopCurrentDisabled = 0;
inline constexpr std::uint8_t kLoopCurrentEnabled = 1;

// Command 7's reply; command 6 echoes its request in the same two bytes.
// HART 5 devices know only the address byte (and fix the loop current at any
// address but 0); the mode byte is for HART 6 and later.
std::optional<LoopConfiguration> decodeCommand7(std::span<const std::uint8_t> data);
std::array<std::uint8_t, 2> command6Request(const LoopConfiguration& configuration);

// ---- Configuration change counter.

// The "configuration changed" bit of a reply's field-device status byte.
inline bool configurationChanged(std::uint8_t deviceStatus) {
    return (deviceStatus & kConfigurationChanged) != 0;
}

// The counter in a command 0 reply's data bytes 14-15, which devices of
// universal revision 6 and later send; nothing for older devices and
// shorter replies.
std::optional<std::uint16_t> configurationChangeCounterOf(std::span<const std::uint8_t> identity);

// Command 38 from HART 7 on carries the counter the master last read: the
// device resets the flag only when it still holds that count (else response
// code 9), so a change made meanwhile by another master is not hidden.
// HART 5 and 6 devices take no data; a HART 7 device given none resets the
// flag unconditionally.
std::array<std::uint8_t, 2> command38Request(std::uint16_t configurationChangeCounter);
// The counter in a HART 7 reply; older devices reply without data.
std::optional<std::uint16_t> decodeCommand38(std::span<const std::uint8_t> data);

// ---- Commands 20 and 22: long tag, 32 ISO Latin-1 characters.

inline constexpr std::size_t kLongTagSize = 32;

// The tag as Latin-1 bytes: up to the first NUL, trailing blanks removed.
std::optional<std::string> decodeCommand20(std::span<const std::uint8_t> data);
// `latin1` NUL-padded to 32 bytes. Throws ConversionError for a text longer
// than 32 bytes or holding a control character (which a tag cannot show).
std::array<std::uint8_t, kLongTagSize> command22Request(std::string_view latin1);

// ---- Commands 89 and 90: real-time clock.

struct RealTimeClock {
    std::array<std::uint8_t, 3> currentDate{}; // day, month, year - 1900
    std::uint32_t currentTime = 0;             // HartTime since midnight
    std::array<std::uint8_t, 3> lastSetDate{};
    std::uint32_t lastSetTime = 0;
    std::uint8_t flags = 0; // kRealTimeClockFlagBits
};
inline constexpr std::uint8_t kClockUninitialized = 0x02;

std::optional<RealTimeClock> decodeCommand90(std::span<const std::uint8_t> data);

// Command 89's first byte says what to do with the date and time it
// carries. "Write date and time" sets the clock; "read receive time" asks
// the device to set it to its own time of receipt (for delay measurement).
inline constexpr std::uint8_t kTimeSetReadReceiveTime = 0;
inline constexpr std::uint8_t kTimeSetWriteDateAndTime = 1;
// Time-set code, date (day, month, year - 1900), HartTime of day, and two
// reserved bytes sent as zero.
std::array<std::uint8_t, 10> command89Request(std::span<const std::uint8_t, 3> date,
                                              std::uint32_t time);

// "2024-03-14 12:34:56.789" from a date's three bytes and a HartTime; the
// time part is "invalid time" for a value of a day or more.
std::string dateTimeText(std::span<const std::uint8_t, 3> date, std::uint32_t time);

// ---- Command 95: communication statistics since power-up.

struct CommStatistics {
    std::uint16_t stxReceived = 0; // requests addressed to the device
    std::uint16_t ackSent = 0;     // replies
    std::uint16_t backSent = 0;    // burst messages
};
std::optional<CommStatistics> decodeCommand95(std::span<const std::uint8_t> data);

// ---- Command 72: squawk.

// Request data for "squawk once": none. HART 6 defined the command without
// data, and HART 7 devices squawk once when the control byte is absent.
// The control byte's own "once" value (2) is not taken by every device in a
// request (some accept only off and on there), so it is not sent.
inline constexpr std::array<std::uint8_t, 0> kSquawkOnceRequest{};
inline constexpr std::uint8_t kSquawkOff = 0;
inline constexpr std::uint8_t kSquawkOn = 1;
inline constexpr std::uint8_t kSquawkOnce = 2;

} // namespace hart
