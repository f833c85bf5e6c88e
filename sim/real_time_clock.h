#pragma once
// Dates and times as HART carries them (Date: day, month, year-1900; Time:
// 1/32 ms since midnight) and the simulated devices' clocks, which count
// 1/32 ms from 1900-01-01 so that a time of day and its date move together.

#include <array>
#include <cstdint>
#include <optional>

namespace sim {

struct SimState;

inline constexpr std::int64_t kTicksPerMs = 32;
inline constexpr std::int64_t kTicksPerDay = 24LL * 60 * 60 * 1000 * kTicksPerMs;

struct ClockReading {
    std::array<std::uint8_t, 3> date{}; // day, month, year-1900
    std::uint32_t time = 0;             // 1/32 ms since midnight
};

// Ticks since 1900-01-01 00:00; nothing for a day that is not in the calendar
// or a time of day of 24 h or more.
std::optional<std::int64_t> clockTicks(const ClockReading& reading);
// The date and time of day `ticks` after 1900-01-01 00:00 (0 to 2155).
ClockReading clockReading(std::int64_t ticks);

// The device's real-time clock now (at s.uptime).
std::int64_t clockNow(const SimState& s);

} // namespace sim
