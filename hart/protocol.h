#pragma once
// The HART data-link constants every layer shares: delimiters, address bits
// and response codes. One definition here; frame builders, reply scans, the
// frame parser and the simulated devices all use these names.

#include <cstdint>

namespace hart {

inline constexpr std::uint8_t kPreamble = 0xFF;

// Delimiters: bit 7 long (unique) address, bits 2-0 the frame type.
inline constexpr std::uint8_t kShortBurst = 0x01;
inline constexpr std::uint8_t kShortRequest = 0x02;
inline constexpr std::uint8_t kShortReply = 0x06;
inline constexpr std::uint8_t kLongBurst = 0x81;
inline constexpr std::uint8_t kLongRequest = 0x82;
inline constexpr std::uint8_t kLongReply = 0x86;
inline constexpr std::uint8_t kLongAddressBit = 0x80;
inline constexpr std::uint8_t kExpansionMask = 0x60; // number of expansion bytes, bits 6-5
inline constexpr std::uint8_t kFrameTypeMask = 0x07;
inline constexpr std::uint8_t kFrameTypeBurst = 0x01;
inline constexpr std::uint8_t kFrameTypeRequest = 0x02;
inline constexpr std::uint8_t kFrameTypeReply = 0x06;

// First address byte: master and burst-mode bits above the polling address
// (short frame) or the manufacturer ID (long frame).
inline constexpr std::uint8_t kPrimaryMaster = 0x80;
inline constexpr std::uint8_t kSecondaryMaster = 0x00;
inline constexpr std::uint8_t kBurstModeBit = 0x40;
inline constexpr std::uint8_t kAddressMask = 0x3F;
inline constexpr int kHighestPollAddress = 63;

// Command 31 carries a 16-bit command number in its first two data bytes.
inline constexpr std::uint8_t kExpandedCommand = 31;

// First status byte of a reply with bit 7 clear: the command response code.
// With bit 7 set the byte reports communication errors instead.
inline constexpr std::uint8_t kCommunicationError = 0x80;
namespace rc {
inline constexpr std::uint8_t kSuccess = 0;
inline constexpr std::uint8_t kUndefined = 1;
inline constexpr std::uint8_t kInvalidSelection = 2;
inline constexpr std::uint8_t kTooLarge = 3;
inline constexpr std::uint8_t kTooSmall = 4;
inline constexpr std::uint8_t kTooFewDataBytes = 5;
inline constexpr std::uint8_t kDeviceSpecificError = 6;
inline constexpr std::uint8_t kWriteProtected = 7;
inline constexpr std::uint8_t kWarning = 8;
inline constexpr std::uint8_t kWrongMode = 9; // multiple meanings; e.g. not in fixed-current mode
inline constexpr std::uint8_t kAccessRestricted = 16;
inline constexpr std::uint8_t kBusy = 32;
inline constexpr std::uint8_t kNotImplemented = 64;
// Codes from 1 to 7, 16, 32 and 64 are errors; 8 and the command-specific
// warnings (for example 14) still carry the reply's data.
} // namespace rc

// Whether a response code reports an error, so that the reply carries only
// the two status bytes. Warnings (8, 14, 24-27, 30-31, 96-127) keep the
// reply's data, as does success; a first status byte with bit 7 set reports
// a communication error and carries no data either.
constexpr bool isErrorResponse(std::uint8_t code) {
    struct Range {
        std::uint8_t first, last;
    };
    // Success and the warnings.
    constexpr Range kWithData[]{{0, 0}, {8, 8}, {14, 14}, {24, 27}, {30, 31}, {96, 127}};
    for (const Range& w : kWithData)
        if (code >= w.first && code <= w.last) return false;
    return true;
}

// Second status byte of a reply: the field-device status.
inline constexpr std::uint8_t kDeviceMalfunction = 0x80;
// Set while the configuration has changed since a master last reset the
// flag with command 38.
inline constexpr std::uint8_t kConfigurationChanged = 0x40;
inline constexpr std::uint8_t kMoreStatusAvailable = 0x10; // command 48 has more
// The loop current does not follow the process: fixed by command 40, or
// parked at 4 mA on a multidrop loop.
inline constexpr std::uint8_t kLoopCurrentFixed = 0x08;

// First data byte of a command 0 reply, ahead of the identity.
inline constexpr std::uint8_t kExpansionCode = 254;

} // namespace hart
