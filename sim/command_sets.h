#pragma once
// The handler sets of the simulated devices, one per group of commands
// (sim/commands_*.cpp), and what the devices share between sets.

#include "sim/reply_kit.h"
#include "sim/sim_state.h"

#include <cstdint>
#include <optional>

namespace sim {

class SimDevice;

void registerDiscoveryCommands(SimDevice& d); // 0, in the layout of the device's revision
void registerProcessCommands(SimDevice& d);
void registerInfoCommands(SimDevice& d);
void registerTemperatureCommands(SimDevice& d); // Rosemount, Yokogawa, E+H
void registerSiemensKrohneAbbCommands(SimDevice& d);
void registerDpMvCommands(SimDevice& d);
void registerHart7Commands(SimDevice& d); // 13, 20, 48

// Command 13: tag, descriptor and date.
std::optional<SimReply> readTagDescriptorDate(SimState& s, const SimRequest& req);

// The HART 7 device's state at `pollAddress`.
SimState hart7State(std::uint8_t pollAddress);

} // namespace sim
