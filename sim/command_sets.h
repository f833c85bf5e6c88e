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
// The HART 7 flowmeter: identity, tags, loop configuration, status, clock and
// statistics; with its device variables (sim/commands_hart7_variables.cpp).
void registerHart7Commands(SimDevice& d);
void registerHart7VariableCommands(SimDevice& d);

// Command 0's data (also the reply to commands 11 and 21).
Bytes identityData(const SimState& s);
// The long tag as commands 20, 21 and 22 carry it: 32 Latin-1 bytes, the
// unused ones NUL.
Bytes longTagField(const SimState& s);

// Owner's data: 12 message, 13 tag, descriptor and date, 16 final assembly
// number, and the writes 17, 18, 19, which echo their data.
std::optional<SimReply> readMessage(SimState& s, const SimRequest& req);
std::optional<SimReply> readTagDescriptorDate(SimState& s, const SimRequest& req);
std::optional<SimReply> readFinalAssemblyNumber(SimState& s, const SimRequest& req);
std::optional<SimReply> writeMessage(SimState& s, const SimRequest& req);
std::optional<SimReply> writeTagDescriptorDate(SimState& s, const SimRequest& req);
std::optional<SimReply> writeFinalAssemblyNumber(SimState& s, const SimRequest& req);

// A write that changes a HART 7 device's configuration: refused while the
// device is write-protected; once accepted it counts in the configuration
// change counter and sets "configuration changed" for every master.
SimHandler configurationWrite(SimHandler write);
void configurationChanged(SimState& s);

// The HART 7 device's state at `pollAddress`.
SimState hart7State(std::uint8_t pollAddress);

} // namespace sim
