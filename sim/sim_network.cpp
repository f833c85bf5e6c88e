#include "sim/sim_network.h"

#include <memory>
#include <utility>

namespace sim {

namespace {

std::vector<std::unique_ptr<SimDevice>> build(const std::vector<NetworkDevice>& wanted) {
    std::vector<std::unique_ptr<SimDevice>> devices;
    for (const NetworkDevice& w : wanted) {
        auto d = w.model == DeviceModel::Hart7 ? makeHart7Device(w.pollAddress)
                                               : makeTransmitter(w.pollAddress);
        d->faults().answersOnlyRetry = w.answersOnlyRetry;
        devices.push_back(std::move(d));
    }
    return devices;
}

} // namespace

std::vector<NetworkDevice> standardNetwork() {
    return {{DeviceModel::Transmitter, 0, false}, {DeviceModel::Hart7, 5, false}};
}

SimNetwork::SimNetwork() : SimNetwork(Options{}) {}

SimNetwork::SimNetwork(Options options) : SimNetwork(standardNetwork(), options) {}

SimNetwork::SimNetwork(const std::vector<NetworkDevice>& devices, Options options)
    : line_(build(devices), options) {}

void SimNetwork::setFaults(std::uint8_t pollAddress, const SimFaults& faults) {
    line_.withDeviceAt(pollAddress, [&](SimDevice& d) { d.faults() = faults; });
}

} // namespace sim
