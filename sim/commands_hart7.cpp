// The HART 7 flowmeter of the simulated network: identity (command 0, in
// sim/commands_discovery.cpp), tag, descriptor and date (13), long tag (20)
// and additional device status (48). Its field-device status carries "More
// status available", which tells the master to read command 48.
#include "sim/command_sets.h"
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

} // namespace

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
    return s;
}

void registerHart7Commands(SimDevice& d) {
    d.addHandler(13, readTagDescriptorDate);

    // 20: read long tag, 32 Latin-1 characters, the unused ones NUL.
    d.addHandler(20, [](SimState& s, const SimRequest&) -> std::optional<SimReply> {
        Bytes tag(s.longTag.begin(), s.longTag.end());
        tag.resize(kLongTagBytes, 0x00);
        return ok(std::move(tag));
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
}

} // namespace sim
