#pragma once
// The far end of a pseudo-terminal: what a modem and its instrument look like
// to the serial port. The peer owns both sides of the pty; the program under
// test opens slavePath() like any serial device, and the peer reads and writes
// the master side on its own thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace sim {

class PtyPeer {
public:
    using BytesHandler = std::function<void(std::span<const std::uint8_t>)>;

    PtyPeer();  // throws std::runtime_error when no pty can be had
    ~PtyPeer(); // stops the reader thread
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }

    // Starts the reader thread; `onBytes` runs on it for every read.
    void start(BytesHandler onBytes);
    void stop();

    // Writes all bytes to the master side. With a per-byte time the bytes go
    // one at a time, paced like a slow line. Safe from any thread.
    bool write(std::span<const std::uint8_t> bytes,
               std::chrono::microseconds perByte = std::chrono::microseconds{0});

    // Closes the master side: the device "goes away" for whoever holds the slave.
    void hangUp();

private:
    void readLoop();

    int master_ = -1;
    int slaveKeep_ = -1; // keeps the pty alive while nobody else has it open
    int wake_ = -1;      // eventfd that ends the reader
    std::string slavePath_;
    std::thread reader_;
    BytesHandler onBytes_;
    std::mutex writeMutex_;
};

// 1200 baud with 11 bits a character (start, 8 data, odd parity, stop).
inline constexpr std::chrono::microseconds kByteTime1200{9167};

} // namespace sim
