#include "hart/frame.h"

#include "hart/protocol.h"

#include <stdexcept>

namespace hart {

namespace {

// Bits 7 and 6 of the first long-address byte are the master and burst flags;
// only the low six bits identify the manufacturer.
constexpr std::uint8_t kManufacturerMask = kAddressMask;

constexpr std::size_t kTransmitCapacity = lb::kTransmitEnd - lb::kTransmit;
constexpr std::size_t kLongFrameOverhead = 17;
constexpr std::size_t kManualPreambles = 6;
constexpr std::size_t kManualMaxTyped = 15;

// Appends bytes to the transmit area, keeping the running index.
class FrameWriter {
public:
    explicit FrameWriter(LinkBuffer& b) : b_(b) {}

    void put(std::uint8_t byte) { b_[lb::kTransmit + length_++] = byte; }
    void repeat(std::uint8_t byte, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            put(byte);
    }
    void put(std::span<const std::uint8_t> bytes) {
        for (const std::uint8_t byte : bytes)
            put(byte);
    }
    // Stores the XOR of everything written so far and returns the frame length.
    std::size_t finish() {
        put(checksum(transmitFrame(b_, length_)));
        return length_;
    }

private:
    LinkBuffer& b_;
    std::size_t length_ = 0;
};

} // namespace

std::uint8_t masterBitForIndex(int comboIndex) {
    return comboIndex == 0 ? kPrimaryMaster : 0x00;
}

std::uint8_t checksum(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes)
        sum ^= byte;
    return sum;
}

std::size_t buildLongFrame(LinkBuffer& b, std::uint8_t master, std::uint8_t command,
                           std::span<const std::uint8_t> data) {
    const UniqueAddress cached{b[lb::kManufacturer], b[lb::kDeviceType], b[lb::kDeviceId],
                               b[lb::kDeviceId + 1], b[lb::kDeviceId + 2]};
    return buildLongFrameTo(b, master, cached, command, data);
}

std::size_t buildLongFrameTo(LinkBuffer& b, std::uint8_t master, const UniqueAddress& address,
                             std::uint8_t command, std::span<const std::uint8_t> data) {
    if (data.size() > kTransmitCapacity - kLongFrameOverhead)
        throw std::length_error("HART long frame: too many data bytes for the transmit area");

    FrameWriter w(b);
    w.repeat(kPreamble, 8);
    w.put(kLongRequest);
    w.put(static_cast<std::uint8_t>(master | (address[0] & kManufacturerMask)));
    w.put(std::span<const std::uint8_t>(address).subspan(1));
    w.put(command);
    w.put(static_cast<std::uint8_t>(data.size()));
    w.put(data);
    return w.finish();
}

std::size_t buildShortFrame(LinkBuffer& b, int preambles, std::uint8_t master,
                            std::uint8_t pollAddress) {
    if (preambles != 6 && preambles != 8)
        throw std::invalid_argument("HART short frame: 6 or 8 preambles expected");

    FrameWriter w(b);
    w.repeat(kPreamble, static_cast<std::size_t>(preambles));
    w.put(kShortRequest);
    w.put(static_cast<std::uint8_t>(master + pollAddress));
    w.put(0x00); // command 0
    w.put(0x00); // no data
    return w.finish();
}

std::size_t buildManualFrame(LinkBuffer& b, std::span<const std::uint8_t> typed) {
    if (typed.empty() || typed.size() > kManualMaxTyped)
        throw std::invalid_argument("HART manual frame: 1 to 15 bytes expected");

    FrameWriter w(b);
    w.repeat(kPreamble, kManualPreambles);
    w.put(typed);
    return w.finish();
}

std::span<const std::uint8_t> transmitFrame(const LinkBuffer& b, std::size_t length) {
    if (length > kTransmitCapacity)
        throw std::length_error("HART frame longer than the transmit area");
    return std::span<const std::uint8_t>(b).subspan(lb::kTransmit, length);
}

std::string hexEcho(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
        text += ' ';
    }
    return text;
}

} // namespace hart
