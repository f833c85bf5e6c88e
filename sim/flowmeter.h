#pragma once
// The process behind the simulated HART 7 flowmeter: an electromagnetic
// flowmeter on a feedwater line. Its device variables move with the
// device's uptime, so a monitor sees live values while a test that holds
// the device's clock (SimDevice::holdClock) gets the same bytes every time.
//
//   0  volume flow  m3/h  42.5 +- 7.5 on a one-minute swell
//   1  mass flow    kg/h  the volume flow at 998 kg/m3
//   2  totalizer    m3    12345 at start, the volume flow summed up
//   3  temperature  degC  23.5 +- 1.5 over ten minutes, poor accuracy
//
// PV, SV, TV and QV stand for 0, 1, 2 and 3 as it leaves the factory.

#include "sim/sim_state.h"

#include <cstdint>
#include <vector>

namespace sim {

// Device variable codes every HART 7 device shares.
inline constexpr std::uint8_t kPercentRangeCode = 244;
inline constexpr std::uint8_t kLoopCurrentCode = 245;
inline constexpr std::uint8_t kPrimaryVariableCode = 246; // SV 247, TV 248, QV 249
inline constexpr std::uint8_t kNotUsed = 250;

// The device variables at start (values at uptime 0).
std::vector<DeviceVariable> flowmeterVariables();

// Brings the device variables, the percent of range and the loop current up
// to s.uptime.
void updateFlowmeter(SimState& s);

} // namespace sim
