#pragma once
// The simulated network: several field devices on one multidrop line behind
// a pseudo-terminal. As standard, the simulated transmitter at polling
// address 0 and a HART 7 flowmeter at polling address 5 ("More status
// available" set; sim/commands_hart7*.cpp). Tests choose their own devices
// and addresses, and a device that is found only when the master retries.

#include "sim/sim_device.h"
#include "sim/sim_line.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace sim {

enum class DeviceModel {
    Transmitter, // the simulated transmitter (HART 5)
    Hart7,       // the HART 7 flowmeter
};

struct NetworkDevice {
    DeviceModel model = DeviceModel::Transmitter;
    std::uint8_t pollAddress = 0;
    // Silent on a command 0 unless it is the master's retry (SimFaults).
    bool answersOnlyRetry = false;
};

// The transmitter at 0, the HART 7 device at 5.
std::vector<NetworkDevice> standardNetwork();

class SimNetwork {
public:
    using Options = LineOptions;
    SimNetwork();
    explicit SimNetwork(Options options);
    // Devices of the same model differ in their device IDs (by polling
    // address), so long frames reach one device each.
    explicit SimNetwork(const std::vector<NetworkDevice>& devices, Options options = {});

    const std::string& portPath() const { return line_.portPath(); }

    // `f(SimState&)` / `f(SimDevice&)` for the device now at `pollAddress`,
    // under the line's lock; std::out_of_range when there is none.
    template <class F> auto withState(std::uint8_t pollAddress, F&& f) {
        return line_.withDeviceAt(pollAddress, [&f](SimDevice& d) { return f(d.state()); });
    }
    template <class F> auto withDevice(std::uint8_t pollAddress, F&& f) {
        return line_.withDeviceAt(pollAddress, std::forward<F>(f));
    }
    void setFaults(std::uint8_t pollAddress, const SimFaults& faults);

    std::vector<std::uint8_t> takeReceived() { return line_.takeReceived(); }
    std::vector<std::vector<std::uint8_t>> takeFrames() { return line_.takeFrames(); }
    std::optional<std::vector<std::uint8_t>> waitFrame(int timeoutMs) {
        return line_.waitFrame(timeoutMs);
    }
    void sendRaw(std::span<const std::uint8_t> bytes) { line_.sendRaw(bytes); }
    // Answers a request that came over HART-IP (delimiter through checksum):
    // the replies, preambles dropped. What sim::HartIpServer asks of the devices.
    std::vector<std::vector<std::uint8_t>> answerPdu(std::span<const std::uint8_t> pdu) {
        return line_.answerPdu(pdu);
    }
    void hangUp() { line_.hangUp(); }

private:
    SimLine line_;
};

} // namespace sim
