#pragma once
// The simulated transmitter: one HART 5 field device alone on a line behind a
// pseudo-terminal, at polling address 0. It answers the frames addressed to
// it from its own state and sends burst frames on its own while burst mode is
// on. What "Simulated transmitter" in the port list opens, and what the
// window tests talk to.

#include "sim/reply_kit.h"
#include "sim/sim_device.h"
#include "sim/sim_line.h"
#include "sim/sim_state.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim {

class SimTransmitter {
public:
    using Options = LineOptions;
    SimTransmitter();
    explicit SimTransmitter(Options options);

    // Path the program opens as its serial port.
    const std::string& portPath() const { return line_.portPath(); }

    void addHandler(std::uint8_t command, SimHandler handler);

    // State and fault access, under the lock.
    template <class F> auto withState(F&& f) {
        return line_.withDevice(0, [&f](SimDevice& d) { return f(d.state()); });
    }
    void setFaults(const SimFaults& faults);
    // Tests: answer a request with bytes of their own choosing (sent as they
    // are, faults still applied); returning nothing falls back to the
    // device's own handlers. Runs on the device's thread, under its lock.
    using RawResponder = SimDevice::RawResponder;
    void setResponder(RawResponder responder);

    // Every byte the master sent since the last call.
    std::vector<std::uint8_t> takeReceived() { return line_.takeReceived(); }
    // Frames parsed from the master's bytes (preambles stripped, delimiter
    // through checksum), oldest first, since the last call.
    std::vector<std::vector<std::uint8_t>> takeFrames() { return line_.takeFrames(); }
    // Waits up to `timeoutMs` for at least one frame.
    std::optional<std::vector<std::uint8_t>> waitFrame(int timeoutMs) {
        return line_.waitFrame(timeoutMs);
    }

    // Answers a request that came over HART-IP (delimiter through checksum):
    // the replies, preambles dropped. What sim::HartIpServer asks of the devices.
    std::vector<std::vector<std::uint8_t>> answerPdu(std::span<const std::uint8_t> pdu) {
        return line_.answerPdu(pdu);
    }

    // Sends bytes of the test's choosing, unsolicited.
    void sendRaw(std::span<const std::uint8_t> bytes) { line_.sendRaw(bytes); }
    // The device disappears (modem unplugged).
    void hangUp() { line_.hangUp(); }

    // Complete reply frames, as this device would send them.
    std::vector<std::uint8_t> longReplyFrame(const SimState& s, std::uint8_t command,
                                             const SimReply& reply,
                                             std::uint8_t delimiter = hart::kLongReply,
                                             std::uint8_t master = hart::kPrimaryMaster) const {
        return sim::longReplyFrame(s, command, reply, delimiter, master);
    }
    std::vector<std::uint8_t> shortReplyFrame(const SimState& s, std::uint8_t command,
                                              const SimReply& reply,
                                              std::uint8_t master = hart::kPrimaryMaster) const {
        return sim::shortReplyFrame(s, command, reply, master);
    }

private:
    SimLine line_;
};

} // namespace sim
