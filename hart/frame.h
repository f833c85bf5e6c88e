#pragma once
// HART request frames, built in the transmit area of the LinkBuffer.

#include "hart/link_buffer.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace hart {

// Master bit from the "First Device"/"Second Device" list: item 0 is the
// primary master (0x80); any other index, or no selection (-1), 0x00.
std::uint8_t masterBitForIndex(int comboIndex);

// Longitudinal parity: XOR of every byte.
std::uint8_t checksum(std::span<const std::uint8_t> bytes);

// Long frame (delimiter 0x82) to the cached DeviceAddress. Writes frame index
// i at LinkBuffer[132 + i]; bytes past the new frame's end are untouched.
// Address byte 0 is master | (manufacturer & 0x3F): bits 7 and 6 are HART's
// master and burst flags and never come from the cached byte.
// Returns the frame length, 17 + data.size(). More than 134 data bytes would
// run past the transmit area: std::length_error.
std::size_t buildLongFrame(LinkBuffer& b, std::uint8_t master, std::uint8_t command,
                           std::span<const std::uint8_t> data);

// A device's unique (long) address: first identity byte, device type, device ID.
using UniqueAddress = std::array<std::uint8_t, 5>;
// The same long frame to `address` instead of the cached DeviceAddress, which
// stays as it is (the network scan asks every device it finds).
std::size_t buildLongFrameTo(LinkBuffer& b, std::uint8_t master, const UniqueAddress& address,
                             std::uint8_t command, std::span<const std::uint8_t> data);

// Short frame (delimiter 0x02): `preambles` is 6 (discovery) or 8 (device-ID
// query); the address byte is master + pollAddress. Returns 11 or 13.
// Storing the polling address in LinkBuffer[315] is left to the caller.
std::size_t buildShortFrame(LinkBuffer& b, int preambles, std::uint8_t master,
                            std::uint8_t pollAddress);

// Hand-typed frame: six preambles, the typed bytes (1..15), their checksum.
// Other counts: std::invalid_argument.
std::size_t buildManualFrame(LinkBuffer& b, std::span<const std::uint8_t> typed);

// The frame just built: LinkBuffer[132 .. 132+length).
std::span<const std::uint8_t> transmitFrame(const LinkBuffer& b, std::size_t length);

// Two upper-case hex digits and one space per byte ("FF 02 " ...).
std::string hexEcho(std::span<const std::uint8_t> bytes);

} // namespace hart
