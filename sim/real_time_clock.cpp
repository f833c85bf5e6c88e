#include "sim/real_time_clock.h"

#include "sim/sim_state.h"

#include <chrono>

namespace sim {

namespace {

using namespace std::chrono;

constexpr sys_days kEpoch = year{1900} / January / 1;
constexpr int kFirstYear = 1900;

} // namespace

std::optional<std::int64_t> clockTicks(const ClockReading& reading) {
    const year_month_day day{year{kFirstYear + reading.date[2]}, month{reading.date[1]},
                             std::chrono::day{reading.date[0]}};
    if (!day.ok() || reading.time >= kTicksPerDay) return std::nullopt;
    return (sys_days{day} - kEpoch).count() * kTicksPerDay + reading.time;
}

ClockReading clockReading(std::int64_t ticks) {
    const year_month_day day{kEpoch + days{ticks / kTicksPerDay}};
    return {{static_cast<std::uint8_t>(static_cast<unsigned>(day.day())),
             static_cast<std::uint8_t>(static_cast<unsigned>(day.month())),
             static_cast<std::uint8_t>(static_cast<int>(day.year()) - kFirstYear)},
            static_cast<std::uint32_t>(ticks % kTicksPerDay)};
}

std::int64_t clockNow(const SimState& s) {
    return s.clockSetTo + (s.uptime - s.clockSetAt).count() * kTicksPerMs;
}

} // namespace sim
