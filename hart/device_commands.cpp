#include "hart/device_commands.h"

#include "hart/encodings.h"
#include "hart/names.h"
#include "hart/protocol.h"

#include <algorithm>
#include <cstdio>

namespace hart {

namespace {

std::uint32_t uint32At(std::span<const std::uint8_t> bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

void putUint32(std::span<std::uint8_t, 4> out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

std::array<std::uint8_t, 3> dateAt(std::span<const std::uint8_t> data, std::size_t at) {
    return {data[at], data[at + 1], data[at + 2]};
}

// Command 0 reply data.
namespace at0 {
constexpr std::size_t kUniversalRevision = 4;
constexpr std::size_t kChangeCounter = 14; // 2 bytes, universal revision 6 on
} // namespace at0
constexpr std::uint8_t kFirstCountingRevision = 6;

// Command 90 reply data.
namespace at90 {
constexpr std::size_t kCurrentDate = 0;
constexpr std::size_t kCurrentTime = 3;
constexpr std::size_t kLastSetDate = 7;
constexpr std::size_t kLastSetTime = 10;
constexpr std::size_t kFlags = 14;
} // namespace at90

// Command 95 reply data: three counts of two bytes.
namespace at95 {
constexpr std::size_t kStx = 0;
constexpr std::size_t kAck = 2;
constexpr std::size_t kBack = 4;
constexpr std::size_t kSize = 6;
} // namespace at95

// Latin-1 C0 and C1 control characters.
bool isControl(unsigned char c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

} // namespace

// ---------------------------------------------------------------- commands 6, 7

std::optional<LoopConfiguration> decodeCommand7(std::span<const std::uint8_t> data) {
    if (data.size() < 2) return std::nullopt;
    return LoopConfiguration{data[0], data[1]};
}

std::array<std::uint8_t, 2> command6Request(const LoopConfiguration& configuration) {
    return {configuration.pollAddress, configuration.loopCurrentMode};
}

// ---------------------------------------------------------------- change counter

std::optional<std::uint16_t> configurationChangeCounterOf(std::span<const std::uint8_t> identity) {
    if (identity.size() < at0::kChangeCounter + 2 || identity[0] != kExpansionCode ||
        identity[at0::kUniversalRevision] < kFirstCountingRevision)
        return std::nullopt;
    return uint16ToValue(&identity[at0::kChangeCounter]);
}

std::array<std::uint8_t, 2> command38Request(std::uint16_t configurationChangeCounter) {
    return {static_cast<std::uint8_t>(configurationChangeCounter >> 8),
            static_cast<std::uint8_t>(configurationChangeCounter)};
}

std::optional<std::uint16_t> decodeCommand38(std::span<const std::uint8_t> data) {
    if (data.size() < 2) return std::nullopt;
    return uint16ToValue(data.data());
}

// ---------------------------------------------------------------- long tag

std::optional<std::string> decodeCommand20(std::span<const std::uint8_t> data) {
    if (data.size() < kLongTagSize) return std::nullopt;
    const auto field = data.first<kLongTagSize>();
    std::string tag(field.begin(), std::find(field.begin(), field.end(), std::uint8_t{0}));
    tag.erase(tag.find_last_not_of(' ') + 1);
    return tag;
}

std::array<std::uint8_t, kLongTagSize> command22Request(std::string_view latin1) {
    if (latin1.size() > kLongTagSize)
        throw ConversionError("The long tag has " + std::to_string(latin1.size()) +
                              " characters; at most 32 fit.");
    const auto control = std::find_if(latin1.begin(), latin1.end(), [](char c) {
        return isControl(static_cast<unsigned char>(c));
    });
    if (control != latin1.end())
        throw ConversionError("The long tag holds the control character " +
                              hexText(static_cast<unsigned char>(*control)) +
                              ", which cannot be sent.");
    std::array<std::uint8_t, kLongTagSize> bytes{};
    std::copy(latin1.begin(), latin1.end(), bytes.begin());
    return bytes;
}

// ---------------------------------------------------------------- real-time clock

std::optional<RealTimeClock> decodeCommand90(std::span<const std::uint8_t> data) {
    if (data.size() <= at90::kFlags) return std::nullopt;
    RealTimeClock clock;
    clock.currentDate = dateAt(data, at90::kCurrentDate);
    clock.currentTime = uint32At(data.subspan(at90::kCurrentTime, 4));
    clock.lastSetDate = dateAt(data, at90::kLastSetDate);
    clock.lastSetTime = uint32At(data.subspan(at90::kLastSetTime, 4));
    clock.flags = data[at90::kFlags];
    return clock;
}

std::array<std::uint8_t, 10> command89Request(std::span<const std::uint8_t, 3> date,
                                              std::uint32_t time) {
    std::array<std::uint8_t, 10> bytes{kTimeSetWriteDateAndTime, date[0], date[1], date[2]};
    putUint32(std::span(bytes).subspan<4, 4>(), time);
    return bytes; // bytes 8-9 stay zero
}

std::string dateTimeText(std::span<const std::uint8_t, 3> date, std::uint32_t time) {
    std::array<char, 16> buf{};
    std::snprintf(buf.data(), buf.size(), "%04d-%02d-%02d", date[2] + 1900, date[1], date[0]);
    return std::string(buf.data()) + " " + hartTimeText(time).value_or("invalid time");
}

// ---------------------------------------------------------------- statistics

std::optional<CommStatistics> decodeCommand95(std::span<const std::uint8_t> data) {
    if (data.size() < at95::kSize) return std::nullopt;
    return CommStatistics{uint16ToValue(&data[at95::kStx]), uint16ToValue(&data[at95::kAck]),
                          uint16ToValue(&data[at95::kBack])};
}

} // namespace hart
