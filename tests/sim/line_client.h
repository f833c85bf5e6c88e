#pragma once
// The master's end of a simulated line, with nothing of the tool in it: the
// pty slave opened raw, frames written as bytes, replies cut out of the
// received bytes by a reader written here from the HART frame layout (not
// the simulator's own). Reads wait on the descriptor up to a deadline.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// Generous: the line shares two cores with everything else.
inline constexpr auto kReplyDeadline = 10s;

class LineClient {
public:
    explicit LineClient(const std::string& ptyPath); // throws std::runtime_error
    ~LineClient();
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    // Five preambles, then `frame` as given (delimiter through checksum).
    void send(const Bytes& frame);
    // The next frame from the devices (reply or burst), delimiter through
    // checksum, preambles dropped; nothing when none is whole by `deadline`.
    std::optional<Bytes> nextFrame(std::chrono::milliseconds deadline = kReplyDeadline);
    // The next reply, skipping burst frames.
    std::optional<Bytes> nextReply(std::chrono::milliseconds deadline = kReplyDeadline);

private:
    std::optional<Bytes> takeFrame();
    int fd_ = -1;
    Bytes pending_;
};

// Bytes with their XOR checksum appended, for frames too long to write out.
Bytes withChecksum(Bytes frame);
// "FF 02 80 ..." -> bytes.
Bytes hex(const char* text);
std::string hexText(const Bytes& bytes);

} // namespace simtest
