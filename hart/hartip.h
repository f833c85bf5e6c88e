#pragma once
// HART-IP version 1 messages: the 8-byte header, the session-initiate body,
// and reassembling messages from a TCP byte stream. All numbers on the wire
// are big-endian. No sockets here: bytes in, bytes out.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace hart::ip {

inline constexpr std::uint16_t kPort = 5094;
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kMaxMessageSize = 0xFFFF; // the byte count is 16 bits

enum class MessageType : std::uint8_t {
    Request = 0,
    Response = 1,
    Publish = 2, // burst messages and event notifications
    Error = 3,
    Nak = 15,
};

enum class MessageId : std::uint8_t {
    SessionInitiate = 0,
    SessionClose = 1,
    KeepAlive = 2,
    HartPdu = 3, // a token-passing PDU: delimiter through checksum, no preambles
};

struct Header {
    std::uint8_t version = kVersion;
    MessageType type = MessageType::Request;
    MessageId id = MessageId::HartPdu;
    std::uint8_t status = 0;
    std::uint16_t sequence = 0;
    std::uint16_t byteCount = kHeaderSize; // the whole message, header included
};

struct Message {
    Header header;
    std::vector<std::uint8_t> body;
};

// The message's bytes; the byte count is taken from the body, whatever
// header.byteCount says. A body too long for a 16-bit count: std::length_error.
std::vector<std::uint8_t> encode(const Message& message);

// The header at the front of `bytes`; nothing when fewer than 8 bytes.
// Values are returned as received (version and type are not judged).
std::optional<Header> decodeHeader(std::span<const std::uint8_t> bytes);

// Exactly one message (one UDP datagram): nothing when the bytes are fewer or
// more than its byte count says, or the byte count is below 8.
std::optional<Message> decode(std::span<const std::uint8_t> bytes);

// A request to send: the given id, sequence number and body, status 0.
Message request(MessageId id, std::uint16_t sequence, std::vector<std::uint8_t> body = {});

// ---- Session initiate (message id 0).
inline constexpr std::uint8_t kPrimaryHost = 1;
inline constexpr std::uint8_t kSecondaryHost = 0;
inline constexpr std::uint32_t kDefaultInactivityCloseTime = 60'000; // ms
// Session initiate status: the server has no session left for this host.
inline constexpr std::uint8_t kTooManySessions = 15;

struct SessionInitiate {
    std::uint8_t hostType = kPrimaryHost;
    std::uint32_t inactivityCloseTime = kDefaultInactivityCloseTime; // ms
};
std::vector<std::uint8_t> encodeSessionInitiate(const SessionInitiate& body);
// Nothing when the body is shorter than 5 bytes; longer bodies are read from the front.
std::optional<SessionInitiate> decodeSessionInitiate(std::span<const std::uint8_t> body);

// The request that opens a session as a primary host.
Message sessionInitiateRequest(std::uint16_t sequence,
                               std::uint32_t inactivityCloseTime = kDefaultInactivityCloseTime);

// The HART PDU request for a frame as built for a modem: leading preambles
// are dropped, since HART-IP carries the frame from its delimiter on.
Message pduRequest(std::uint16_t sequence, std::span<const std::uint8_t> frame);

// The frame without its leading 0xFF preambles.
std::span<const std::uint8_t> withoutPreambles(std::span<const std::uint8_t> frame);

// ---- Status of a session-initiate response.
enum class Severity { Success, Warning, Error };
struct StatusMeaning {
    Severity severity; // a warning still opens the session
    std::string text;  // "too many sessions"
};
// Codes without a meaning of their own are errors, "status N".
StatusMeaning sessionInitiateStatus(std::uint8_t status);

// ---- Reassembly of messages from a TCP stream.
class StreamReassembler {
public:
    // Takes received bytes and returns the messages they complete, in order.
    std::vector<Message> feed(std::span<const std::uint8_t> bytes);
    // A header with a byte count below 8 means the stream has lost its
    // framing and cannot find it again: the connection must be dropped.
    // From then on feed() returns nothing.
    bool broken() const { return broken_; }
    // Bytes held of a message not yet complete.
    std::size_t pending() const { return buffer_.size(); }

private:
    std::vector<std::uint8_t> buffer_;
    bool broken_ = false;
};

} // namespace hart::ip
