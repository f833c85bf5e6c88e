#include "sim/sim_device.h"

#include "hart/frame.h"
#include "sim/command_sets.h"

#include <algorithm>

namespace sim {

namespace {

Bytes frame(const SimState& s, std::initializer_list<std::uint8_t> head, const SimReply& r) {
    Bytes f(s.preambles, hart::kPreamble);
    const std::size_t start = f.size();
    f.insert(f.end(), head);
    f.push_back(static_cast<std::uint8_t>(r.data.size() + 2));
    f.push_back(r.responseCode);
    f.push_back(r.deviceStatus);
    f.insert(f.end(), r.data.begin(), r.data.end());
    f.push_back(hart::checksum(std::span(f.data() + start, f.size() - start)));
    return f;
}

std::uint8_t burstBit(const SimState& s) {
    return s.burstMode ? hart::kBurstModeBit : 0;
}

} // namespace

SimDevice::SimDevice(SimState state) : state_(std::move(state)) {}

void SimDevice::addHandler(std::uint8_t command, SimHandler handler) {
    handlers_[command].push_back(std::move(handler));
}

bool SimDevice::isAddressed(const SimRequest& req) const {
    if (req.longFrame) return req.longAddress == uniqueAddress(state_);
    // From HART 6 on a polling address finds a device (command 0) and
    // nothing more: every other command needs its unique address.
    if (state_.universalRevision >= 6 && req.command != 0) return false;
    return req.address == state_.pollAddress;
}

std::optional<Bytes> SimDevice::answer(const SimRequest& req, bool repeated) {
    if (faults_.silent) return std::nullopt;
    if (responder_)
        if (auto raw = responder_(state_, req)) return raw;
    if (!isAddressed(req)) return std::nullopt;
    if (faults_.answersOnlyRetry && req.command == 0 && !repeated) return std::nullopt;
    SimReply r = reply(req);
    if (faults_.responseCode) r.responseCode = *faults_.responseCode;
    r = asSent(std::move(r));
    return req.longFrame ? longReplyFrame(state_, req.command, r, hart::kLongReply, req.master)
                         : shortReplyFrame(state_, req.command, r, req.master);
}

std::optional<Bytes> SimDevice::burstFrame() {
    if (!state_.burstMode) return std::nullopt;
    SimRequest req;
    req.longFrame = true;
    req.longAddress = uniqueAddress(state_);
    req.command = state_.burstCommand;
    SimReply r = reply(req);
    if (r.responseCode != rc::kSuccess) return std::nullopt;
    return longReplyFrame(state_, req.command, asSent(std::move(r)), hart::kLongBurst,
                          hart::kSecondaryMaster);
}

SimReply SimDevice::reply(const SimRequest& req) {
    std::optional<SimReply> r;
    if (auto it = handlers_.find(req.command); it != handlers_.end())
        for (auto& h : it->second)
            if ((r = h(state_, req))) break;
    if (!r) r = refuse(rc::kNotImplemented);
    r->deviceStatus |= state_.fieldDeviceStatus;
    return *r;
}

std::array<std::uint8_t, 5> uniqueAddress(const SimState& s) {
    return {static_cast<std::uint8_t>(s.manufacturer & hart::kAddressMask), s.deviceType,
            s.deviceId[0], s.deviceId[1], s.deviceId[2]};
}

Bytes longReplyFrame(const SimState& s, std::uint8_t command, const SimReply& reply,
                     std::uint8_t delimiter, std::uint8_t master) {
    std::uint8_t a0 =
        static_cast<std::uint8_t>(master | burstBit(s) | (s.manufacturer & hart::kAddressMask));
    if (delimiter == hart::kLongBurst) a0 |= hart::kBurstModeBit;
    return frame(
        s, {delimiter, a0, s.deviceType, s.deviceId[0], s.deviceId[1], s.deviceId[2], command},
        reply);
}

Bytes shortReplyFrame(const SimState& s, std::uint8_t command, const SimReply& reply,
                      std::uint8_t master) {
    const auto a = static_cast<std::uint8_t>(master | burstBit(s) | s.pollAddress);
    return frame(s, {hart::kShortReply, a, command}, reply);
}

std::unique_ptr<SimDevice> makeTransmitter(std::uint8_t pollAddress) {
    SimState s;
    s.pollAddress = pollAddress;
    // Devices on one line differ in their IDs, so that long frames reach one.
    s.deviceId[2] = static_cast<std::uint8_t>(s.deviceId[2] + pollAddress);
    auto d = std::make_unique<SimDevice>(std::move(s));
    registerDiscoveryCommands(*d);
    registerProcessCommands(*d);
    registerInfoCommands(*d);
    registerTemperatureCommands(*d);
    registerSiemensKrohneAbbCommands(*d);
    registerDpMvCommands(*d);
    return d;
}

std::unique_ptr<SimDevice> makeHart7Device(std::uint8_t pollAddress) {
    auto d = std::make_unique<SimDevice>(hart7State(pollAddress));
    registerDiscoveryCommands(*d);
    registerHart7Commands(*d);
    return d;
}

} // namespace sim
