#pragma once
// A line to HART devices, as the request cycle sees it: the serial port with
// its modem, or a HART-IP session. The cycle hands each request frame to the
// link; what comes back reaches the cycle's receive handler on the main
// thread, a serial chunk as it was read, a HART-IP reply PDU with five
// preambles in front, so scans, views, counters and readers work unchanged.
//
// Named `line`, not `link`: POSIX has a function of that name.

#include <cstdint>
#include <optional>
#include <span>

namespace line {

class Link {
public:
    virtual ~Link() = default;
    // Hands a copy of one whole frame (preambles through checksum) to the
    // line; false when the link is closed or cannot take it. The caller's
    // buffer may be reused at once.
    virtual bool sendFrame(std::span<const std::uint8_t> frame) = 0;
    // Bytes taken off the line so far, those of a chunk still being collected
    // included: a serial chunk is handed over only after the line has been
    // quiet for a while, and this tells early that a reply has begun. Nothing
    // when the link cannot tell (then a reply counts once it is handed over).
    virtual std::optional<std::uint64_t> bytesArrived() const { return std::nullopt; }
};

} // namespace line
