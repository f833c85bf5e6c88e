#pragma once
// Bytes from the master in, whole request frames out: what a field device's
// receiver does with the line. No threads and no clock of its own (the caller
// says when the bytes arrived), so it can be driven byte by byte from a test
// or a fuzzer.

#include "sim/reply_kit.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim {

class FrameAssembler {
public:
    using Clock = std::chrono::steady_clock;
    // Longer than a character time at 1200 baud, far shorter than the pause
    // between two requests: a frame quiet for this long in the middle was cut.
    static constexpr auto kQuietGap = std::chrono::milliseconds(100);

    // Takes bytes that arrived at `now`; returns the request frames they
    // complete (delimiter through checksum, preambles dropped), oldest first.
    // Preambles and noise outside a frame are skipped; a frame begins at a
    // request delimiter (0x02 short, 0x82 long). A half-received frame is
    // dropped when the line was quiet for longer than kQuietGap before
    // `now`, so a cut frame never swallows the next request.
    std::vector<Bytes> feed(std::span<const std::uint8_t> bytes, Clock::time_point now);

    // Whether a frame has begun and is not complete yet.
    bool midFrame() const { return !partial_.empty(); }

private:
    Bytes partial_;
    Clock::time_point lastByte_{};
};

// Length of a request frame from its delimiter through its checksum, once the
// delimiter, address, command and byte count are there; nothing before that.
std::optional<std::size_t> requestFrameLength(std::span<const std::uint8_t> frame);

// A whole request frame (as FrameAssembler gives it) read into its fields;
// nothing when it is not a request frame, its length disagrees with its byte
// count or its checksum is wrong: a device ignores such a frame.
std::optional<SimRequest> parseRequest(std::span<const std::uint8_t> frame);

} // namespace sim
