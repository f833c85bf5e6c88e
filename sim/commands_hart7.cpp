// The HART 7 flowmeter of the simulated network, as a HART 7 field device
// answers: identity (command 0, in sim/commands_discovery.cpp; 11 and 21 by
// tag), owner's data (12, 13, 16-19), long tag (20, 22), loop configuration
// (6, 7), configuration changed (38), self test and reset (41, 42),
// additional device status (48), squawk (72), real-time clock (89, 90) and
// communication statistics (95). Its device variables are in
// sim/commands_hart7_variables.cpp.
//
// Its field-device status carries "More status available", which tells the
// master to read command 48.
#include "sim/command_sets.h"
#include "sim/flowmeter.h"
#include "sim/real_time_clock.h"
#include "sim/sim_device.h"

#include <algorithm>
#include <array>

namespace sim {

namespace {

constexpr std::size_t kLongTagBytes = 32;
// Extended device status: maintenance required, device variable alert.
constexpr std::uint8_t kExtendedStatus = 0x01 | 0x02;

// Command 48, HART 7 layout.
constexpr std::array<std::uint8_t, 16> kAdditionalStatus{
    0x00,
    0x04,
    0x00,
    0x00,
    0x20,
    0x00,            // device-specific status 0-5
    kExtendedStatus, // extended device status
    0x00,            // device operating mode
    0x20,            // standardized status 0: environment out of range
    0x00,            // standardized status 1
    0x00,            // analog channel saturated
    0x00,            // standardized status 2
    0x00,            // standardized status 3
    0x00,            // analog channel fixed
    0x00,
    0x10, // device-specific status 14, 15
};

// HART 7 devices take polling addresses 0-63.
constexpr std::uint8_t kHighestPollAddress = 63;
constexpr std::uint8_t kLoopCurrentDisabled = 0;
constexpr std::uint8_t kLoopCurrentEnabled = 1;

// Command 72: squawk off, on, once; a request without data squawks once.
constexpr std::uint8_t kSquawkOnce = 2;

// Command 89: time-set codes; the request carries two reserved bytes after
// the time, so that it takes as long on the line as the reply.
constexpr std::uint8_t kReadReceiveTime = 0;
constexpr std::uint8_t kWriteDateAndTime = 1;
constexpr std::size_t kSetClockBytes = 10;
constexpr std::size_t kClockReadingBytes = 7; // date and time
// Command 90: real-time clock flags.
constexpr std::uint8_t kNonVolatileClock = 0x01;
constexpr std::uint8_t kClockUninitialized = 0x02;
// Where an unset clock starts: 1 January 2024, midnight.
constexpr ClockReading kClockAtStart{{1, 1, 124}, 0};

std::size_t masterIndex(const SimRequest& req) {
    return req.master == hart::kPrimaryMaster ? 1 : 0;
}

void putClock(Bytes& out, const ClockReading& r) {
    out.insert(out.end(), r.date.begin(), r.date.end());
    putUint32(out, r.time);
}

void registerLoopAndTags(SimDevice& d) {
    // 6: polling address and loop current mode. A master of HART 5 sends the
    // address alone; the mode then follows it (enabled at 0, disabled
    // elsewhere), as it did before the mode was a setting of its own. The
    // line finds the device at its new address from now on.
    d.addHandler(6, configurationWrite([](SimState& s, const SimRequest& req) {
                     if (req.data.empty()) return refuse(rc::kTooFewDataBytes);
                     const std::uint8_t address = req.data[0];
                     if (address > kHighestPollAddress) return refuse(rc::kInvalidSelection);
                     const std::uint8_t mode = req.data.size() >= 2 ? req.data[1]
                                               : address == 0       ? kLoopCurrentEnabled
                                                                    : kLoopCurrentDisabled;
                     if (mode > kLoopCurrentEnabled) return refuse(kInvalidModeSelection);
                     s.pollAddress = address;
                     s.loopCurrentMode = mode;
                     return ok({address, mode});
                 }));
    d.addHandler(7, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        return ok({s.pollAddress, s.loopCurrentMode});
    });

    // 11, 21: the device's identity, sent only when the tag is its own
    // (SimDevice::isAddressed sees to that).
    const SimHandler identity = [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        return ok(identityData(s));
    };
    d.addHandler(11, identity);
    d.addHandler(21, identity);

    d.addHandler(12, readMessage);
    d.addHandler(13, readTagDescriptorDate);
    d.addHandler(16, readFinalAssemblyNumber);
    d.addHandler(17, configurationWrite(writeMessage));
    d.addHandler(18, configurationWrite(writeTagDescriptorDate));
    d.addHandler(19, configurationWrite(writeFinalAssemblyNumber));

    d.addHandler(20, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        return ok(longTagField(s));
    });
    d.addHandler(22, configurationWrite([](SimState& s, const SimRequest& req) {
                     if (req.data.size() < kLongTagBytes) return refuse(rc::kTooFewDataBytes);
                     const Bytes field(req.data.begin(), req.data.begin() + kLongTagBytes);
                     const auto end = std::find(field.begin(), field.end(), 0x00);
                     s.longTag.assign(field.begin(), end);
                     return ok(field);
                 }));
}

void registerStatusAndControl(SimDevice& d) {
    // 38: clears "configuration changed" for the master that asks. A HART 7
    // master sends the counter it last read; when the device has counted
    // another change since, the flag stays. An older master sends nothing.
    d.addHandler(38, [](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        if (req.data.size() == 1) return refuse(rc::kTooFewDataBytes);
        if (req.data.size() >= 2 && getUint16(req.data, 0) != s.configChangeCounter)
            return refuse(kCounterMismatch);
        std::uint8_t& own = s.masterStatus[masterIndex(req)];
        own = static_cast<std::uint8_t>(own & ~kConfigurationChanged);
        Bytes out;
        putUint16(out, s.configChangeCounter);
        return ok(std::move(out));
    });

    // 41: the self test finds nothing new; the status bytes tell the rest.
    d.addHandler(41, [](SimState&, const SimRequest&) -> std::optional<SimReply> { return ok(); });
    // 42: answered first; SimDevice then starts the device again.
    d.addHandler(42, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        s.resetPending = true;
        return ok();
    });

    // 48: read additional device status. A master may send the status bytes
    // it holds; when they differ from the device's, the reply says so with a
    // warning and the device's bytes.
    d.addHandler(48, [](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        SimReply r = ok(s.additionalStatus);
        const std::size_t compared = std::min(req.data.size(), s.additionalStatus.size());
        if (!std::equal(req.data.begin(), req.data.begin() + static_cast<std::ptrdiff_t>(compared),
                        s.additionalStatus.begin()))
            r.responseCode = kStatusMismatch;
        return r;
    });

    // 72: squawk. Without data the device squawks once and answers without
    // data; with a squawk control code it echoes the code.
    d.addHandler(72, [](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        if (req.data.empty()) {
            s.squawk = kSquawkOnce;
            return ok();
        }
        if (req.data[0] > kSquawkOnce) return refuse(rc::kInvalidSelection);
        s.squawk = req.data[0];
        return ok({s.squawk});
    });
}

void registerClockAndStatistics(SimDevice& d) {
    // 89: set the real-time clock, or (time-set code 0) read the time the
    // request arrived. Only setting it changes the configuration.
    d.addHandler(89, [](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        if (req.data.size() < kSetClockBytes) return refuse(rc::kTooFewDataBytes);
        const std::uint8_t code = req.data[0];
        if (code > kWriteDateAndTime) return refuse(rc::kInvalidSelection);
        Bytes out{code};
        if (code == kReadReceiveTime) {
            putClock(out, clockReading(clockNow(s)));
            return ok(std::move(out));
        }
        if (s.writeProtect) return refuse(rc::kWriteProtected);
        const ClockReading wanted{{req.data[1], req.data[2], req.data[3]}, getUint32(req.data, 4)};
        const auto ticks = clockTicks(wanted);
        if (!ticks) return refuse(rc::kTooLarge);
        s.clockSetTo = *ticks;
        s.clockSetAt = s.uptime;
        s.clockSet = true;
        configurationChanged(s);
        out.insert(out.end(), req.data.begin() + 1, req.data.begin() + 1 + kClockReadingBytes);
        return ok(std::move(out));
    });

    // 90: the clock now, the date and time it was last set to, its flags.
    d.addHandler(90, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        Bytes out;
        putClock(out, clockReading(clockNow(s)));
        putClock(out, clockReading(s.clockSetTo));
        out.push_back(s.clockSet ? kNonVolatileClock : kNonVolatileClock | kClockUninitialized);
        return ok(std::move(out));
    });

    // 95: the frames counted since the device started (SimDevice counts them).
    d.addHandler(95, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        Bytes out;
        putUint16(out, s.communication.stxReceived);
        putUint16(out, s.communication.ackSent);
        putUint16(out, s.communication.backSent);
        return ok(std::move(out));
    });
}

} // namespace

Bytes longTagField(const SimState& s) {
    Bytes tag(s.longTag.begin(), s.longTag.end());
    tag.resize(kLongTagBytes, 0x00);
    return tag;
}

void configurationChanged(SimState& s) {
    ++s.configChangeCounter;
    for (std::uint8_t& m : s.masterStatus)
        m |= kConfigurationChanged;
}

SimHandler configurationWrite(SimHandler write) {
    return
        [write = std::move(write)](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
            if (s.writeProtect) return refuse(rc::kWriteProtected);
            auto r = write(s, req);
            if (r && !isErrorResponse(r->responseCode)) configurationChanged(s);
            return r;
        };
}

SimState hart7State(std::uint8_t pollAddress) {
    SimState s;
    // Endress+Hauser, expanded device type 0x11B7.
    s.manufacturer = 0x11;
    s.deviceType = 0xB7;
    s.deviceId = {0x3A, 0x5C, static_cast<std::uint8_t>(0x8C + pollAddress)};
    s.pollAddress = pollAddress;
    s.universalRevision = 7;
    s.deviceRevision = 2;
    s.softwareRevision = 3;
    s.hardwareRevision = 2;
    s.fieldDeviceStatus = hart::kMoreStatusAvailable;
    s.configChangeCounter = 7;
    s.extendedStatus = kExtendedStatus;
    s.manufacturerCode = 0x0011;
    s.distributorCode = 0x0011;
    s.deviceProfile = 0x01; // process automation device
    s.tag = "FT205";
    s.descriptor = "FEEDWATER FLOW";
    s.date = {14, 3, 124};
    s.message = "FEEDWATER LINE 2";
    // Latin-1: the sharp s is 0xDF. Exactly 32 characters.
    s.longTag = "FT-205 Speisewasser Durchflu\xDF K2";
    s.additionalStatus.assign(kAdditionalStatus.begin(), kAdditionalStatus.end());
    s.deviceVariableTable = flowmeterVariables();
    s.deviceVariables = static_cast<std::uint8_t>(s.deviceVariableTable.size());
    // Off address 0 it shares the loop with others: its current stays put.
    s.loopCurrentMode = pollAddress == 0 ? kLoopCurrentEnabled : kLoopCurrentDisabled;
    s.clockSetTo = clockTicks(kClockAtStart).value_or(0);
    updateFlowmeter(s);
    return s;
}

void registerHart7Commands(SimDevice& d) {
    registerLoopAndTags(d);
    registerStatusAndControl(d);
    registerClockAndStatistics(d);
    registerHart7VariableCommands(d);
}

} // namespace sim
