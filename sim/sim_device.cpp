#include "sim/sim_device.h"

#include "hart/encodings.h"
#include "hart/frame.h"
#include "sim/command_sets.h"
#include "sim/flowmeter.h"

#include <algorithm>
#include <utility>

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

constexpr std::uint8_t kFindByTag = 11;
constexpr std::uint8_t kFindByLongTag = 21;
constexpr int kTagChars = 8;
constexpr std::array<std::uint8_t, 5> kBroadcastAddress{};

bool tagMatches(const SimState& s, const SimRequest& req) {
    const Bytes tag =
        req.command == kFindByTag ? hart::packedAsciiFromText(s.tag, kTagChars) : longTagField(s);
    return req.data.size() >= tag.size() && std::equal(tag.begin(), tag.end(), req.data.begin());
}

} // namespace

SimDevice::SimDevice(SimState state) : state_(std::move(state)) {}

void SimDevice::addHandler(std::uint8_t command, SimHandler handler) {
    handlers_[command].push_back(std::move(handler));
}

void SimDevice::releaseClock() {
    // The clock runs on from where it stood, without a jump.
    if (heldAt_) start_ = std::chrono::steady_clock::now() - *heldAt_;
    heldAt_.reset();
}

bool SimDevice::identifiedByTag(const SimRequest& req) const {
    return (req.command == kFindByTag || req.command == kFindByLongTag) &&
           handlers_.contains(req.command);
}

bool SimDevice::isAddressed(const SimRequest& req) const {
    const bool byTag = identifiedByTag(req);
    if (byTag && !tagMatches(state_, req)) return false;
    if (req.longFrame)
        return req.longAddress == uniqueAddress(state_) ||
               (byTag && req.longAddress == kBroadcastAddress);
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
    // Still starting: the request is lost on a device that is not listening yet.
    if (state_.restarting > 0) {
        --state_.restarting;
        return std::nullopt;
    }
    ++state_.communication.stxReceived;
    if (faults_.answersOnlyRetry && req.command == 0 && !repeated) return std::nullopt;
    bringUpToDate();
    SimReply r = reply(req);
    r.deviceStatus |= statusFor(req.master, true);
    if (faults_.responseCode) r.responseCode = *faults_.responseCode;
    r = asSent(std::move(r));
    Bytes frame = req.longFrame
                      ? longReplyFrame(state_, req.command, r, hart::kLongReply, req.master)
                      : shortReplyFrame(state_, req.command, r, req.master);
    ++state_.communication.ackSent;
    if (std::exchange(state_.resetPending, false)) restart();
    return frame;
}

std::optional<Bytes> SimDevice::burstFrame() {
    if (!state_.burstMode) return std::nullopt;
    SimRequest req;
    req.longFrame = true;
    req.longAddress = uniqueAddress(state_);
    req.command = state_.burstCommand;
    bringUpToDate();
    SimReply r = reply(req);
    if (r.responseCode != rc::kSuccess) return std::nullopt;
    r.deviceStatus |= statusFor(hart::kSecondaryMaster, false);
    ++state_.communication.backSent;
    return longReplyFrame(state_, req.command, asSent(std::move(r)), hart::kLongBurst,
                          hart::kSecondaryMaster);
}

SimReply SimDevice::reply(const SimRequest& req) {
    std::optional<SimReply> r;
    if (auto it = handlers_.find(req.command); it != handlers_.end())
        for (auto& h : it->second)
            if ((r = h(state_, req))) break;
    if (!r) r = refuse(rc::kNotImplemented);
    return *r;
}

void SimDevice::bringUpToDate() {
    state_.uptime = heldAt_ ? *heldAt_
                            : std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - start_);
    if (process_) process_(state_);
}

std::uint8_t SimDevice::statusFor(std::uint8_t master, bool reply) {
    std::uint8_t& own = state_.masterStatus[master == hart::kPrimaryMaster ? 1 : 0];
    const auto status =
        static_cast<std::uint8_t>(state_.fieldDeviceStatus | state_.processStatus | own);
    // Cold start is told once to each master, in its first reply after the start.
    if (reply) own = static_cast<std::uint8_t>(own & ~kColdStart);
    return status;
}

void SimDevice::restart() {
    for (std::uint8_t& m : state_.masterStatus)
        m |= kColdStart;
    state_.communication = {};
    state_.squawk = 0;
    state_.restarting = state_.requestsMissedByReset;
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
    d->setProcess(updateFlowmeter);
    return d;
}

} // namespace sim
