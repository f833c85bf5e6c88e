#pragma once
// Splitting bytes off the line (a received chunk, or a frame as sent) into
// HART frames and the stretches between them that form no frame. Data-link
// layer only: what the bytes say, and whether they are whole and intact.
// Any input is safe, however short, long or damaged.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace hart {

// Bits 2-0 of the delimiter.
enum class FrameType : std::uint8_t {
    Burst = 1,   // BACK: burst frame from a slave
    Request = 2, // STX: master to slave
    Reply = 6,   // ACK: slave to master
};

struct FrameAddress {
    bool primaryMaster = false; // bit 7 of the first address byte
    bool burstMode = false;     // bit 6: the slave is in burst mode
    // Short frame: polling address 0-63.
    std::uint8_t pollingAddress = 0;
    // Long frame: bits 5-0 of the first byte are the manufacturer ID
    // (HART 5) or the high bits of the expanded device type (HART 6/7); the
    // second byte is the device type, the last three the device ID.
    std::uint8_t manufacturerId = 0;
    std::uint8_t deviceType = 0;
    std::uint16_t expandedDeviceType = 0;
    std::uint32_t deviceId = 0;
};

struct Frame {
    std::size_t preambles = 0; // 0xFF bytes in front of the delimiter
    std::uint8_t delimiter = 0;
    FrameType type = FrameType::Request;
    bool longAddress = false;
    std::uint8_t physicalLayer = 0; // bits 4-3 of the delimiter
    // Fields as far as the bytes reach. A frame cut inside a field leaves that
    // field and every later one unset (address: its bytes are kept in
    // addressBytes).
    std::vector<std::uint8_t> addressBytes; // 1 (short) or 5 (long) when whole
    std::optional<FrameAddress> address;
    std::vector<std::uint8_t> expansion; // 0-3 bytes, as many as bits 6-5 say
    std::optional<std::uint8_t> command;
    std::optional<std::uint8_t> byteCount;
    std::vector<std::uint8_t> data; // all data bytes present, status bytes included
    // Replies and burst frames: the first two data bytes.
    std::optional<std::uint8_t> responseCode; // first status byte
    std::optional<std::uint8_t> deviceStatus; // field-device status
    // Command 31: the 16-bit command number (data bytes 0-1 of a request,
    // 2-3 after the status bytes otherwise).
    std::optional<std::uint16_t> expandedCommand;
    std::optional<std::uint8_t> checksumReceived;
    std::uint8_t checksumComputed = 0; // XOR of delimiter .. last data byte present

    // The frame's byte count runs past the bytes there are (so no checksum
    // either): the frame was cut, or the count is damaged.
    bool truncated = false;
    bool checksumWrong() const { return checksumReceived && *checksumReceived != checksumComputed; }
    // Whole and with a matching checksum. A frame that is not truncated has
    // all its fields, command and checksum included.
    bool intact() const { return !truncated && !checksumWrong(); }
};

// One stretch of the input: a frame (from its first preamble through its
// checksum, or to the end of the input when cut), or bytes that form none.
struct FrameSegment {
    std::size_t offset = 0;
    std::size_t length = 0;
    std::optional<Frame> frame; // unset: unparsed bytes
};

// Segments in input order, covering every input byte exactly once. A frame
// starts at a run of 0xFF followed by a delimiter of a known frame type;
// neighbouring bytes that are no frame become one unparsed segment.
std::vector<FrameSegment> parseFrames(std::span<const std::uint8_t> bytes);

} // namespace hart
