#include "sim/sim_transmitter.h"

#include <memory>
#include <utility>

namespace sim {

namespace {

std::vector<std::unique_ptr<SimDevice>> transmitterAlone() {
    std::vector<std::unique_ptr<SimDevice>> devices;
    devices.push_back(makeTransmitter());
    return devices;
}

} // namespace

SimTransmitter::SimTransmitter() : SimTransmitter(Options{}) {}

SimTransmitter::SimTransmitter(Options options) : line_(transmitterAlone(), options) {}

void SimTransmitter::addHandler(std::uint8_t command, SimHandler handler) {
    line_.withDevice(0, [&](SimDevice& d) { d.addHandler(command, std::move(handler)); });
}

void SimTransmitter::setFaults(const SimFaults& faults) {
    line_.withDevice(0, [&](SimDevice& d) { d.faults() = faults; });
}

void SimTransmitter::setResponder(RawResponder responder) {
    line_.withDevice(0, [&](SimDevice& d) { d.setResponder(std::move(responder)); });
}

} // namespace sim
