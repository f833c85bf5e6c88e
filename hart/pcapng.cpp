#include "hart/pcapng.h"

#include "hart/protocol.h"

#include <algorithm>
#include <array>
#include <ostream>
#include <string_view>
#include <utility>

namespace hart::pcapng {

namespace {

// pcapng blocks are written in little-endian order; the byte-order magic in
// the section header tells readers so.
constexpr std::uint32_t kSectionHeaderBlock = 0x0A0D0D0A;
constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint32_t kInterfaceDescriptionBlock = 0x00000001;
constexpr std::uint32_t kEnhancedPacketBlock = 0x00000006;
constexpr std::uint16_t kOptionEnd = 0;
constexpr std::uint16_t kOptionUserApplication = 4; // shb_userappl
constexpr std::string_view kApplication = "rx460k";

class Block {
public:
    explicit Block(std::uint32_t type) {
        put32(type);
        put32(0); // total length, filled in by finish()
    }
    void put16(std::uint16_t v) {
        bytes_.push_back(static_cast<std::uint8_t>(v));
        bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void put32(std::uint32_t v) {
        put16(static_cast<std::uint16_t>(v));
        put16(static_cast<std::uint16_t>(v >> 16));
    }
    void put64(std::uint64_t v) {
        put32(static_cast<std::uint32_t>(v));
        put32(static_cast<std::uint32_t>(v >> 32));
    }
    // Bytes padded with zeros to a multiple of four.
    void putPadded(std::span<const std::uint8_t> data) {
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        bytes_.resize(bytes_.size() + (4 - data.size() % 4) % 4, 0);
    }
    void putOption(std::uint16_t code, std::string_view value) {
        put16(code);
        put16(static_cast<std::uint16_t>(value.size()));
        putPadded({reinterpret_cast<const std::uint8_t*>(value.data()), value.size()});
    }
    // The total length goes at both ends of the block.
    std::vector<std::uint8_t> finish() {
        const auto total = static_cast<std::uint32_t>(bytes_.size() + 4);
        put32(total);
        for (int i = 0; i < 4; ++i)
            bytes_[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(total >> (8 * i));
        return std::move(bytes_);
    }

private:
    std::vector<std::uint8_t> bytes_;
};

constexpr std::array<std::uint8_t, 4> kLoopback{127, 0, 0, 1};
constexpr std::size_t kIpv4HeaderSize = 20;
constexpr std::size_t kUdpHeaderSize = 8;
constexpr std::uint8_t kProtocolUdp = 17;
constexpr std::uint8_t kTimeToLive = 64;
constexpr std::uint16_t kDontFragment = 0x4000;

void put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v >> 8);
    out[at + 1] = static_cast<std::uint8_t>(v);
}

} // namespace

Writer::Writer(std::ostream& out, bool flushEachPacket)
    : stream_(&out), flushEachPacket_(flushEachPacket) {
    writeHeaders();
}

Writer::Writer(std::FILE* out, bool flushEachPacket)
    : file_(out), flushEachPacket_(flushEachPacket) {
    writeHeaders();
}

void Writer::writeHeaders() {
    Block section(kSectionHeaderBlock);
    section.put32(kByteOrderMagic);
    section.put16(1); // version 1.0
    section.put16(0);
    section.put64(~std::uint64_t{0}); // section length not given
    section.putOption(kOptionUserApplication, kApplication);
    section.put32(kOptionEnd); // option code and length 0
    write(section.finish());

    // No options: time stamps in microseconds are the default resolution.
    Block interface(kInterfaceDescriptionBlock);
    interface.put16(kLinkTypeRaw);
    interface.put16(0); // reserved
    interface.put32(kSnapLength);
    write(interface.finish());
    flush();
}

void Writer::writePacket(std::span<const std::uint8_t> packet, std::uint64_t microseconds) {
    Block block(kEnhancedPacketBlock);
    block.put32(0); // interface 0
    block.put32(static_cast<std::uint32_t>(microseconds >> 32));
    block.put32(static_cast<std::uint32_t>(microseconds));
    block.put32(static_cast<std::uint32_t>(packet.size())); // captured
    block.put32(static_cast<std::uint32_t>(packet.size())); // on the wire
    block.putPadded(packet);
    write(block.finish());
    if (flushEachPacket_) flush();
}

void Writer::writePacket(std::span<const std::uint8_t> packet,
                         std::chrono::system_clock::time_point when) {
    const auto since =
        std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch());
    writePacket(packet, static_cast<std::uint64_t>(since.count()));
}

void Writer::write(const std::vector<std::uint8_t>& block) {
    if (stream_) {
        stream_->write(reinterpret_cast<const char*>(block.data()),
                       static_cast<std::streamsize>(block.size()));
        good_ = good_ && stream_->good();
    } else if (file_) {
        good_ = good_ && std::fwrite(block.data(), 1, block.size(), file_) == block.size();
    }
}

void Writer::flush() {
    if (stream_) {
        stream_->flush();
        good_ = good_ && stream_->good();
    } else if (file_) {
        good_ = good_ && std::fflush(file_) == 0;
    }
}

std::uint16_t internetChecksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const std::uint32_t low = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        sum += (std::uint32_t{bytes[i]} << 8) | low;
    }
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::vector<std::uint8_t> udpPacket(std::uint16_t sourcePort, std::uint16_t destinationPort,
                                    std::span<const std::uint8_t> payload, std::uint16_t ipId) {
    const std::size_t udpLength = kUdpHeaderSize + payload.size();
    std::vector<std::uint8_t> p(kIpv4HeaderSize + udpLength, 0);
    p[0] = 0x45; // version 4, header of five 32-bit words
    put16(p, 2, static_cast<std::uint16_t>(p.size()));
    put16(p, 4, ipId);
    put16(p, 6, kDontFragment);
    p[8] = kTimeToLive;
    p[9] = kProtocolUdp;
    std::copy(kLoopback.begin(), kLoopback.end(), p.begin() + 12);
    std::copy(kLoopback.begin(), kLoopback.end(), p.begin() + 16);
    put16(p, 10, internetChecksum(std::span(p).first(kIpv4HeaderSize)));

    put16(p, kIpv4HeaderSize, sourcePort);
    put16(p, kIpv4HeaderSize + 2, destinationPort);
    put16(p, kIpv4HeaderSize + 4, static_cast<std::uint16_t>(udpLength));
    std::copy(payload.begin(), payload.end(), p.begin() + kIpv4HeaderSize + kUdpHeaderSize);

    // The UDP checksum covers a pseudo header of addresses, protocol and length.
    std::vector<std::uint8_t> pseudo(kLoopback.begin(), kLoopback.end());
    pseudo.insert(pseudo.end(), kLoopback.begin(), kLoopback.end());
    pseudo.push_back(0);
    pseudo.push_back(kProtocolUdp);
    pseudo.push_back(static_cast<std::uint8_t>(udpLength >> 8));
    pseudo.push_back(static_cast<std::uint8_t>(udpLength));
    pseudo.insert(pseudo.end(), p.begin() + kIpv4HeaderSize, p.end());
    const std::uint16_t sum = internetChecksum(pseudo);
    put16(p, kIpv4HeaderSize + 6, sum == 0 ? 0xFFFF : sum); // 0 would mean "no checksum"
    return p;
}

std::vector<std::uint8_t> hartIpPacket(Direction direction, std::span<const std::uint8_t> message,
                                       std::uint16_t toolPort, std::uint16_t ipId) {
    const bool toDevice = direction == Direction::ToDevice;
    return udpPacket(toDevice ? toolPort : kDevicePort, toDevice ? kDevicePort : toolPort, message,
                     ipId);
}

ip::MessageType messageTypeFor(Direction direction, std::span<const std::uint8_t> pdu) {
    struct Row {
        std::uint8_t frameType;
        ip::MessageType messageType;
    };
    static constexpr std::array kRows{
        Row{kFrameTypeRequest, ip::MessageType::Request},
        Row{kFrameTypeReply, ip::MessageType::Response},
        Row{kFrameTypeBurst, ip::MessageType::Publish},
    };
    if (!pdu.empty())
        for (const Row& row : kRows)
            if ((pdu[0] & kFrameTypeMask) == row.frameType) return row.messageType;
    return direction == Direction::ToDevice ? ip::MessageType::Request : ip::MessageType::Response;
}

std::vector<std::uint8_t> hartPduPacket(Direction direction, std::span<const std::uint8_t> frame,
                                        std::uint16_t sequence, std::uint16_t toolPort,
                                        std::uint16_t ipId) {
    ip::Message message = ip::pduRequest(sequence, frame);
    message.header.type = messageTypeFor(direction, message.body);
    return hartIpPacket(direction, ip::encode(message), toolPort, ipId);
}

} // namespace hart::pcapng
