#pragma once
// Captures Wireshark and tshark read: a pcapng writer, and HART frames
// wrapped as HART-IP messages over UDP/IPv4 on the loopback address so that
// their HART-IP dissector decodes every frame. Device side 127.0.0.1:5094,
// tool side 127.0.0.1:<tool port>: the ports tell the direction.

#include "hart/hartip.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <span>
#include <vector>

namespace hart::pcapng {

inline constexpr std::uint16_t kLinkTypeRaw = 101; // each packet starts with its IPv4 header
inline constexpr std::uint32_t kSnapLength = 65535;
inline constexpr std::uint16_t kDevicePort = ip::kPort;
inline constexpr std::uint16_t kDefaultToolPort = 50940; // in the ephemeral range

// Writes one section with one interface (raw IPv4, microsecond time stamps)
// and appends packets to it. The headers go out when the writer is made.
class Writer {
public:
    explicit Writer(std::ostream& out, bool flushEachPacket = false);
    explicit Writer(std::FILE* out, bool flushEachPacket = false);

    // `microseconds` since 1970-01-01 00:00 UTC.
    void writePacket(std::span<const std::uint8_t> packet, std::uint64_t microseconds);
    void writePacket(std::span<const std::uint8_t> packet,
                     std::chrono::system_clock::time_point when);
    void flush();
    // False once any write has failed.
    bool good() const { return good_; }

private:
    void writeHeaders();
    void write(const std::vector<std::uint8_t>& block);

    std::ostream* stream_ = nullptr;
    std::FILE* file_ = nullptr;
    bool flushEachPacket_;
    bool good_ = true;
};

// The Internet checksum (ones' complement of the ones'-complement sum of
// 16-bit words) as it goes into IPv4 and UDP headers.
std::uint16_t internetChecksum(std::span<const std::uint8_t> bytes);

// A UDP datagram in an IPv4 packet from 127.0.0.1 to 127.0.0.1, both
// checksums filled in. `ipId` is the IPv4 identification field.
std::vector<std::uint8_t> udpPacket(std::uint16_t sourcePort, std::uint16_t destinationPort,
                                    std::span<const std::uint8_t> payload, std::uint16_t ipId = 0);

enum class Direction { ToDevice, FromDevice };

// An encoded HART-IP message between the tool and the device.
std::vector<std::uint8_t> hartIpPacket(Direction direction, std::span<const std::uint8_t> message,
                                       std::uint16_t toolPort = kDefaultToolPort,
                                       std::uint16_t ipId = 0);

// Message type for a HART frame: request for a master's frame, response for a
// reply, publish for a burst frame; by direction when the delimiter says none.
ip::MessageType messageTypeFor(Direction direction, std::span<const std::uint8_t> pdu);

// A HART frame as it went over the line (preambles are dropped) as one
// HART-IP PDU message (id 3) in one packet. A request and its reply share
// their sequence number.
std::vector<std::uint8_t> hartPduPacket(Direction direction, std::span<const std::uint8_t> frame,
                                        std::uint16_t sequence,
                                        std::uint16_t toolPort = kDefaultToolPort,
                                        std::uint16_t ipId = 0);

} // namespace hart::pcapng
