#pragma once
// One simulated HART field device: its identity and state, and the handlers
// that answer its commands. It knows nothing of ports or threads: the line it
// is on hands it every request frame and sends what it answers.
//
// Commands are answered by handlers registered per command number; several
// handlers may share a number (device-specific commands overlap between
// makers) and the first that returns a reply answers. A command no handler
// takes is answered "command not implemented".
//
// What every field device does around its handlers is done here: it counts
// the frames it receives and sends, reports "configuration changed" and
// "cold start" to each master on its own, starts again after a device reset,
// and keeps its own clock, which a test may hold still.

#include "sim/reply_kit.h"
#include "sim/sim_state.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace sim {

class SimDevice {
public:
    explicit SimDevice(SimState state = {});

    void addHandler(std::uint8_t command, SimHandler handler);
    // Brings the state up to s.uptime before each request is answered (live
    // process values).
    void setProcess(std::function<void(SimState&)> process) { process_ = std::move(process); }

    // Tests: the device's uptime stands at `uptime` until released, so that
    // its process values and clock are known to the byte.
    void holdClock(std::chrono::milliseconds uptime) { heldAt_ = uptime; }
    void releaseClock();

    SimState& state() { return state_; }
    const SimState& state() const { return state_; }
    SimFaults& faults() { return faults_; }
    const SimFaults& faults() const { return faults_; }

    // Tests: answer requests with bytes of their own choosing. The responder
    // sees every frame on the line, addressed to this device or not;
    // returning nothing leaves the frame to the device's own handlers.
    using RawResponder = std::function<std::optional<Bytes>(SimState&, const SimRequest&)>;
    void setResponder(RawResponder responder) { responder_ = std::move(responder); }

    // Short frames reach the device by its polling address (from HART 6 on
    // only command 0 does), long frames by its unique address. Commands 11
    // and 21 (find a device by its tag or long tag) also come to the
    // broadcast address; a device that has them answers only when the tag
    // is its own.
    bool isAddressed(const SimRequest& req) const;

    // What the device sends in answer to a request on its line (preambles
    // through checksum), or nothing when it stays silent. `repeated`: the
    // request is the same frame as the one just before it on the line.
    // Faults that shape the sending (delay, garbage, split) are the line's.
    std::optional<Bytes> answer(const SimRequest& req, bool repeated);

    // The burst frame due now, or nothing while burst mode is off.
    std::optional<Bytes> burstFrame();

private:
    SimReply reply(const SimRequest& req);
    bool identifiedByTag(const SimRequest& req) const;
    void bringUpToDate();
    // The field device status for `master`; a reply to it consumes cold start.
    std::uint8_t statusFor(std::uint8_t master, bool reply);
    void restart();

    SimState state_;
    SimFaults faults_;
    RawResponder responder_;
    std::map<std::uint8_t, std::vector<SimHandler>> handlers_;
    std::function<void(SimState&)> process_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::optional<std::chrono::milliseconds> heldAt_;
};

// Unique (long) address: the low six bits of the first identity byte, the
// second identity byte, the device ID.
std::array<std::uint8_t, 5> uniqueAddress(const SimState& s);

// Complete reply frames of exactly this reply, from the device `s`
// describes: its preambles, its address with the burst-mode bit while burst
// mode is on (always in a burst frame), the checksum. A device's own answers
// pass through asSent() first.
Bytes longReplyFrame(const SimState& s, std::uint8_t command, const SimReply& reply,
                     std::uint8_t delimiter = hart::kLongReply,
                     std::uint8_t master = hart::kPrimaryMaster);
Bytes shortReplyFrame(const SimState& s, std::uint8_t command, const SimReply& reply,
                      std::uint8_t master = hart::kPrimaryMaster);

// The simulated transmitter: a HART 5 temperature and pressure transmitter
// that answers every command the tool sends, at `pollAddress`.
std::unique_ptr<SimDevice> makeTransmitter(std::uint8_t pollAddress = 0);
// A HART 7 flowmeter with "More status available" set, at `pollAddress`: the
// universal commands and the common-practice commands a flowmeter without
// burst mode or current trims has (sim/commands_hart7*.cpp).
std::unique_ptr<SimDevice> makeHart7Device(std::uint8_t pollAddress = 5);

} // namespace sim
