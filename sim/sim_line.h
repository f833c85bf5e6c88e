#pragma once
// A HART loop with simulated devices on it, behind a pseudo-terminal. The
// line assembles the master's bytes into request frames, hands every frame
// to every device (they all listen, as on a multidrop loop), and sends what
// the addressed device answers; the others stay silent. Devices in burst
// mode send burst frames on their own about twice a second.
//
// Threads: the pty reader runs the devices' handlers; a second thread sends
// burst frames. Devices and their state are touched only under the line's
// lock (withDevice).

#include "sim/frame_assembler.h"
#include "sim/pty_peer.h"
#include "sim/sim_device.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace sim {

struct LineOptions {
    bool pace = false; // 1200-baud timing, about 9.2 ms a byte
};

class SimLine {
public:
    explicit SimLine(std::vector<std::unique_ptr<SimDevice>> devices, LineOptions options = {});
    ~SimLine();
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // Path the program opens as its serial port.
    const std::string& portPath() const { return peer_.slavePath(); }

    std::size_t deviceCount() const { return devices_.size(); }
    // Runs `f(SimDevice&)` under the line's lock.
    template <class F> auto withDevice(std::size_t index, F&& f) {
        std::lock_guard lock(mutex_);
        return f(*devices_.at(index));
    }
    // The device now at `pollAddress` (its address can change by command 6);
    // std::out_of_range when there is none.
    template <class F> auto withDeviceAt(std::uint8_t pollAddress, F&& f) {
        std::lock_guard lock(mutex_);
        return f(deviceAt(pollAddress));
    }

    // Every byte the master sent since the last call.
    Bytes takeReceived();
    // Frames assembled from the master's bytes (delimiter through checksum,
    // whatever their checksum), oldest first, since the last call.
    std::vector<Bytes> takeFrames();
    // Waits up to `timeoutMs` for at least one frame and takes the oldest.
    std::optional<Bytes> waitFrame(int timeoutMs);

    // A request frame that came another way than the pty (a HART-IP PDU,
    // delimiter through checksum): recorded with the pty's frames, handed to
    // every device as the line does, and answered with the replies (delimiter
    // through checksum, preambles dropped) after the devices' reply delay.
    // Garbage and split faults shape bytes on a wire and do not apply.
    std::vector<Bytes> answerPdu(std::span<const std::uint8_t> pdu);

    // Sends bytes of the caller's choosing, unsolicited.
    void sendRaw(std::span<const std::uint8_t> bytes);
    // The devices disappear (modem unplugged).
    void hangUp() { peer_.hangUp(); }

private:
    struct Outgoing {
        Bytes bytes;
        SimFaults faults;
    };
    void onBytes(std::span<const std::uint8_t> bytes);
    void handleFrame(const Bytes& frame);
    std::vector<Outgoing> answersTo(const Bytes& frame); // under the lock
    void send(const Bytes& bytes, const SimFaults& faults);
    void burstLoop();
    SimDevice& deviceAt(std::uint8_t pollAddress);
    std::chrono::microseconds byteTime() const;

    LineOptions options_;
    std::vector<std::unique_ptr<SimDevice>> devices_;
    PtyPeer peer_;
    std::mutex mutex_;
    FrameAssembler assembler_;
    Bytes received_;
    std::vector<Bytes> frames_;
    Bytes lastFrame_; // the frame before the one being answered
    std::condition_variable frameArrived_;
    std::condition_variable burstWake_;
    bool stopping_ = false;
    std::thread burst_;
};

} // namespace sim
