#pragma once
// A HART-IP client with nothing of the tool or the simulator in it: a plain
// socket to 127.0.0.1, messages written out as bytes by the test, and
// messages cut from what comes back by the byte count in bytes 6 and 7 of
// each header. Reads wait on the socket up to a deadline.

#include "line_client.h"

#include <chrono>
#include <cstdint>
#include <optional>

namespace simtest {

class HartIpClient {
public:
    enum class Transport { Tcp, Udp };
    HartIpClient(Transport transport, std::uint16_t port); // throws std::runtime_error
    ~HartIpClient();
    HartIpClient(const HartIpClient&) = delete;
    HartIpClient& operator=(const HartIpClient&) = delete;

    // One message as given (UDP: one datagram).
    void send(const Bytes& message);
    // TCP only: the bytes as given, one write each, as a slow sender would.
    void sendByteByByte(const Bytes& message);
    // The next whole message; nothing when none is whole by `deadline`.
    std::optional<Bytes> next(std::chrono::milliseconds deadline = kReplyDeadline);
    // TCP: true once the server has closed the connection (end of stream).
    bool closedByServer(std::chrono::milliseconds deadline = kReplyDeadline);

private:
    std::optional<Bytes> takeMessage();
    bool readMore(std::chrono::steady_clock::time_point until);

    Transport transport_;
    int fd_ = -1;
    Bytes pending_;
    bool ended_ = false;
};

} // namespace simtest
