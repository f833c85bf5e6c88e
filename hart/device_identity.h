#pragma once
// What a command-0 reply says about the device that sent it, in the layout of
// the device's own universal revision: HART 5 and 6 put the manufacturer ID
// and device type in data bytes 1 and 2; HART 7 makes those two bytes the
// expanded device type and moves the 16-bit manufacturer ID to bytes 17-18.

#include "hart/frame.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace hart {

struct DeviceIdentity {
    std::uint8_t universalRevision = 0; // data byte 4
    std::uint8_t deviceRevision = 0;    // data byte 5
    std::uint8_t preambles = 0;         // data byte 3: preambles the device asks for
    // Data byte 2 alone before HART 7; bytes 1-2 from HART 7 on.
    std::uint16_t deviceType = 0;
    bool expandedDeviceType = false;
    // Data byte 1 before HART 7; bytes 17-18 from HART 7 on, unknown when
    // the reply stops short of them.
    std::optional<std::uint16_t> manufacturer;
    // HART 7: the private-label distributor (data bytes 19-20), under whose
    // name the device may be sold; unknown before HART 7 or when the reply
    // stops short of it.
    std::optional<std::uint16_t> distributor;
    std::uint32_t deviceId = 0; // data bytes 9-11
    UniqueAddress uniqueAddress{};
};

// The fewest data bytes (after the two status bytes) a command-0 reply has.
inline constexpr std::size_t kIdentityBytes = 12;

// From the data of a command-0 reply after its two status bytes; nothing when
// it holds fewer than kIdentityBytes or does not start with 254.
std::optional<DeviceIdentity> identityOf(std::span<const std::uint8_t> data);

// The manufacturer's name from the manufacturer table, else its number.
std::string manufacturerText(std::uint16_t manufacturer);

} // namespace hart
