#pragma once
// HART-IP messages: the 8-byte header, the session-initiate body, the direct
// PDU and audit-log bodies, the checks that find a malformed message, and
// reassembling messages from a TCP byte stream. All numbers on the wire are
// big-endian. No sockets here: bytes in, bytes out.
//
// Version 1 runs in the clear; version 2 is the same messages inside TLS
// (TCP) or DTLS (UDP) once the session initiate has been answered. A session
// speaks one version from its initiate on.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace hart::ip {

inline constexpr std::uint16_t kPort = 5094;
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::uint8_t kSecureVersion = 2;
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
    HartPdu = 3,      // a token-passing PDU: delimiter through checksum, no preambles
    DirectPdu = 4,    // several commands to the server's own device in one message
    ReadAuditLog = 5, // the server's record of past sessions
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

// A request to send: the given id, sequence number and body, status 0, in
// the given version.
Message request(MessageId id, std::uint16_t sequence, std::vector<std::uint8_t> body = {},
                std::uint8_t version = kVersion);

// ---- Session initiate (message id 0).
inline constexpr std::uint8_t kPrimaryHost = 1;
inline constexpr std::uint8_t kSecondaryHost = 0;
inline constexpr std::uint32_t kDefaultInactivityCloseTime = 60'000; // ms
// Session initiate status: the server has no session left for this host.
inline constexpr std::uint8_t kTooManySessions = 15;
// Session initiate status: a version 2 server that has not been given its
// keys yet cannot open a secure session.
inline constexpr std::uint8_t kSecurityNotInitialized = 9;
inline constexpr std::uint8_t kVersionNotSupported = 14;

struct SessionInitiate {
    std::uint8_t hostType = kPrimaryHost;
    std::uint32_t inactivityCloseTime = kDefaultInactivityCloseTime; // ms
};
std::vector<std::uint8_t> encodeSessionInitiate(const SessionInitiate& body);
// Nothing when the body is shorter than 5 bytes; longer bodies are read from the front.
std::optional<SessionInitiate> decodeSessionInitiate(std::span<const std::uint8_t> body);

// The request that opens a session as a primary host.
Message sessionInitiateRequest(std::uint16_t sequence,
                               std::uint32_t inactivityCloseTime = kDefaultInactivityCloseTime,
                               std::uint8_t version = kVersion);

// The HART PDU request for a frame as built for a modem: leading preambles
// are dropped, since HART-IP carries the frame from its delimiter on.
Message pduRequest(std::uint16_t sequence, std::span<const std::uint8_t> frame,
                   std::uint8_t version = kVersion);

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

// ---- The length of a HART frame from its own header.
// The bytes a token-passing frame (delimiter on, no preambles) takes by its
// delimiter, address, expansion bytes and byte count; nothing while too few
// bytes are there to tell, or when the delimiter names no frame type.
std::optional<std::size_t> hartFrameLength(std::span<const std::uint8_t> pdu);

// ---- Malformed messages.
// Why a received message must not be decoded: a version other than the
// session's, or a HART PDU whose message byte count disagrees with the
// length of the frame it carries. Nothing when it is well formed.
// Without a session version (a server before the initiate) any version is taken.
std::optional<std::string> malformation(const Message& message,
                                        std::optional<std::uint8_t> sessionVersion);

// ---- Direct PDU (message id 4): commands to the server's own device.
// Body: device status and extended device status (zero in a request), then
// per command its 16-bit number, a byte count and the data; in a response
// the byte count takes in a response code in front of the data.
struct DirectCommand {
    std::uint16_t command = 0;
    std::vector<std::uint8_t> data;
};
struct DirectReply {
    std::uint16_t command = 0;
    std::uint8_t responseCode = 0;
    std::vector<std::uint8_t> data;
};
struct DirectPduResponse {
    std::uint8_t deviceStatus = 0;
    std::uint8_t extendedStatus = 0;
    std::vector<DirectReply> replies;
};
// std::length_error when a command's data exceed the 255 bytes one count holds.
std::vector<std::uint8_t> encodeDirectPdu(std::span<const DirectCommand> commands);
// Nothing when the body is cut or a reply claims more bytes than are there,
// or has no room for its response code.
std::optional<DirectPduResponse> decodeDirectPduResponse(std::span<const std::uint8_t> body);
// The server's side: the commands of a request; nothing when cut.
std::optional<std::vector<DirectCommand>>
decodeDirectPduRequest(std::span<const std::uint8_t> body);
std::vector<std::uint8_t> encodeDirectPduResponse(const DirectPduResponse& response);

// ---- Read audit log (message id 5).
// Request body: the first record and how many. Response: the same two, the
// server's power-up time and last security change (seconds since 1970, 64
// bits), a server status word, the size of one session record, then the
// records. A record: the client's IPv4 and IPv6 address, its port and the
// server's, connect and disconnect time, the session status flags, the
// configuration change counter at the start and the end, and the counts of
// publish, request and response PDUs.
inline constexpr std::size_t kAuditRecordSize = 58;
inline constexpr std::size_t kAuditHeaderSize = 22;

enum SessionStatusFlag : std::uint16_t {
    kWritesOccurred = 0x0001,
    kBadSessionInitiate = 0x0002,
    kSessionAborted = 0x0004,
    kSessionTimedOut = 0x0008,
    kInsecureSession = 0x0010,
};
// "writes made, aborted": the flags set, in words, in the order of their bits;
// "none" when no flag is set, unknown bits as "bit 0x0040".
std::string sessionStatusText(std::uint16_t flags);

struct AuditRecord {
    std::array<std::uint8_t, 4> clientIpv4{};
    std::array<std::uint8_t, 16> clientIpv6{};
    std::uint16_t clientPort = 0;
    std::uint16_t serverPort = 0;
    std::uint64_t connectTime = 0;    // s since 1970
    std::uint64_t disconnectTime = 0; // s since 1970; all ones while connected
    std::uint16_t sessionStatus = 0;  // SessionStatusFlag bits
    std::uint16_t startConfigurationCounter = 0;
    std::uint16_t endConfigurationCounter = 0;
    std::uint32_t publishPdus = 0;
    std::uint32_t requestPdus = 0;
    std::uint32_t responsePdus = 0;
};
struct AuditLog {
    std::uint8_t firstRecord = 0;
    std::uint64_t powerUpTime = 0;
    std::uint64_t lastSecurityChange = 0;
    std::uint16_t serverStatus = 0;
    std::vector<AuditRecord> records;
};
std::vector<std::uint8_t> encodeAuditLogRequest(std::uint8_t firstRecord, std::uint8_t count);
// Records are read by the size the server gives (at least 58 bytes; longer
// records carry fields this program does not know, which are skipped).
// Nothing when the body is shorter than the count of records it claims.
std::optional<AuditLog> decodeAuditLog(std::span<const std::uint8_t> body);
std::vector<std::uint8_t> encodeAuditLog(const AuditLog& log);

// ---- Reassembly of messages from a TCP stream.
// What the stream gave: a well-formed message, or the reason a malformed
// one was dropped.
struct StreamItem {
    std::optional<Message> message;
    std::string malformed;
};

class StreamReassembler {
public:
    // Messages of another version than this one are malformed; without a
    // version (a server before the initiate) any version is taken.
    explicit StreamReassembler(std::optional<std::uint8_t> version = kVersion)
        : version_(version) {}

    // Takes received bytes and returns the messages they complete, in order.
    // A HART PDU whose byte count disagrees with its frame's own length is
    // dropped, and the stream goes on where the frame ends: a count too
    // large would otherwise swallow the next message's first bytes, one too
    // small would read the rest of the frame as the next header.
    std::vector<StreamItem> feed(std::span<const std::uint8_t> bytes);
    // The stream has lost its framing and cannot find it again (a byte count
    // below 8, or no header of this version where the next message must
    // start): the connection must be dropped. From then on feed() returns
    // nothing; brokenReason() says why.
    bool broken() const { return !brokenReason_.empty(); }
    const std::string& brokenReason() const { return brokenReason_; }
    // Bytes held of a message not yet complete.
    std::size_t pending() const { return buffer_.size(); }
    // The version from now on (once a session has been opened).
    void setVersion(std::optional<std::uint8_t> version) { version_ = version; }

private:
    std::optional<std::uint8_t> version_;
    std::vector<std::uint8_t> buffer_;
    std::size_t skip_ = 0;        // bytes of a cut frame still to come, to be passed over
    bool resynchronised_ = false; // the next header was found by a frame's length
    std::string brokenReason_;
};

} // namespace hart::ip
