#pragma once
// A simulated HART field device behind a pseudo-terminal. It parses the
// master's frames, answers those addressed to it from its own state, and
// sends burst frames on its own while burst mode is on.
//
// Commands are answered by handlers registered per command number; several
// handlers may share a number (device-specific commands overlap between
// makers) and the first that returns a reply answers.

#include "sim/pty_peer.h"
#include "sim/sim_state.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace sim {

struct SimRequest {
    bool longFrame = false;
    std::uint8_t master = 0;  // 0x80 primary, 0x00 secondary
    std::uint8_t address = 0; // polling address (short frame)
    std::uint8_t command = 0;
    std::vector<std::uint8_t> data;
};

struct SimReply {
    std::uint8_t responseCode = 0;
    std::uint8_t deviceStatus = 0;
    std::vector<std::uint8_t> data;
};

using SimHandler = std::function<std::optional<SimReply>(SimState&, const SimRequest&)>;

class SimTransmitter {
public:
    struct Options {
        bool pace = false; // 1200-baud timing, about 9.2 ms a byte
    };
    SimTransmitter();
    explicit SimTransmitter(Options options);
    ~SimTransmitter();

    // Path the program opens as its serial port.
    const std::string& portPath() const { return peer_.slavePath(); }

    void addHandler(std::uint8_t command, SimHandler handler);

    // State and fault access, under the lock.
    template <class F> auto withState(F&& f) {
        std::lock_guard lock(mutex_);
        return f(state_);
    }
    void setFaults(const SimFaults& faults);
    // Tests: answer a request with bytes of their own choosing (sent as they
    // are, faults still applied); returning nothing falls back to the
    // device's own handlers. Runs on the device's thread, under its lock.
    using RawResponder =
        std::function<std::optional<std::vector<std::uint8_t>>(SimState&, const SimRequest&)>;
    void setResponder(RawResponder responder);

    // Every byte the master sent since the last call.
    std::vector<std::uint8_t> takeReceived();
    // Frames parsed from the master's bytes (preambles stripped, delimiter
    // through checksum), oldest first, since the last call.
    std::vector<std::vector<std::uint8_t>> takeFrames();
    // Waits up to `timeoutMs` for at least one frame.
    std::optional<std::vector<std::uint8_t>> waitFrame(int timeoutMs);

    // Sends bytes of the test's choosing, unsolicited.
    void sendRaw(std::span<const std::uint8_t> bytes);
    // The device disappears (modem unplugged).
    void hangUp() { peer_.hangUp(); }

    // Complete reply frames, as this device would send them.
    std::vector<std::uint8_t> longReplyFrame(const SimState& s, std::uint8_t command,
                                             const SimReply& reply, std::uint8_t delimiter = 0x86,
                                             std::uint8_t master = 0x80) const;
    std::vector<std::uint8_t> shortReplyFrame(const SimState& s, std::uint8_t command,
                                              const SimReply& reply,
                                              std::uint8_t master = 0x80) const;

private:
    void onBytes(std::span<const std::uint8_t> bytes);
    void handleFrame(const std::vector<std::uint8_t>& frame);
    void sendReply(const std::vector<std::uint8_t>& bytes, const SimFaults& faults);
    void burstLoop();

    Options options_;
    PtyPeer peer_;
    std::mutex mutex_;
    SimState state_;
    SimFaults faults_;
    RawResponder responder_;
    std::map<std::uint8_t, std::vector<SimHandler>> handlers_;
    std::vector<std::uint8_t> received_;
    std::vector<std::uint8_t> parse_; // bytes of the frame being parsed
    std::chrono::steady_clock::time_point lastByte_;
    std::vector<std::vector<std::uint8_t>> frames_;
    std::condition_variable frameArrived_;
    std::condition_variable burstWake_;
    bool stopping_ = false;
    std::thread burst_;
};

// Handler sets, one per group of commands.
void registerDiscoveryCommands(SimTransmitter& t);
void registerProcessCommands(SimTransmitter& t);
void registerInfoCommands(SimTransmitter& t);
void registerTemperatureCommands(SimTransmitter& t); // Rosemount, Yokogawa, E+H
void registerSiemensKrohneAbbCommands(SimTransmitter& t);
void registerDpMvCommands(SimTransmitter& t);

// Helpers for handlers.
void putFloat(std::vector<std::uint8_t>& out, float v);
float getFloat(const std::vector<std::uint8_t>& data, std::size_t at);

} // namespace sim
