#include "hart/hartip.h"

#include "hart/encodings.h"
#include "hart/protocol.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace hart::ip {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v >> 16));
    put16(out, static_cast<std::uint16_t>(v));
}

void put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    put32(out, static_cast<std::uint32_t>(v >> 32));
    put32(out, static_cast<std::uint32_t>(v));
}

std::uint16_t get16(std::span<const std::uint8_t> b, std::size_t at) {
    return uint16ToValue(&b[at]);
}

std::uint32_t get32(std::span<const std::uint8_t> b, std::size_t at) {
    return (std::uint32_t{get16(b, at)} << 16) | get16(b, at + 2);
}

std::uint64_t get64(std::span<const std::uint8_t> b, std::size_t at) {
    return (std::uint64_t{get32(b, at)} << 32) | get32(b, at + 4);
}

constexpr std::size_t kSessionInitiateSize = 5;

struct StatusRow {
    std::uint8_t code;
    Severity severity;
    std::string_view text;
};

// Session-initiate response codes. 8 is the one warning: the server keeps the
// session but chose its own inactivity close time (given in the body).
// 14 is how servers say they do not speak the requested HART-IP version;
// for a version 1 client that leaves nothing to talk about, so it is an error.
constexpr std::array kSessionStatus{
    StatusRow{0, Severity::Success, "success"},
    StatusRow{rc::kInvalidSelection, Severity::Error, "invalid selection (host type)"},
    StatusRow{rc::kTooFewDataBytes, Severity::Error, "too few data bytes received"},
    StatusRow{rc::kWarning, Severity::Warning,
              "set to nearest possible value (inactivity close time)"},
    StatusRow{kSecurityNotInitialized, Severity::Error,
              "security not initialized (the server has no keys yet)"},
    StatusRow{kVersionNotSupported, Severity::Error, "version not supported"},
    StatusRow{kTooManySessions, Severity::Error, "too many sessions"},
    StatusRow{rc::kAccessRestricted, Severity::Error, "access restricted"},
};

} // namespace

std::vector<std::uint8_t> encode(const Message& message) {
    const std::size_t size = kHeaderSize + message.body.size();
    if (size > kMaxMessageSize) throw std::length_error("HART-IP message longer than 65535 bytes");
    std::vector<std::uint8_t> out;
    out.reserve(size);
    const Header& h = message.header;
    out.push_back(h.version);
    out.push_back(static_cast<std::uint8_t>(h.type));
    out.push_back(static_cast<std::uint8_t>(h.id));
    out.push_back(h.status);
    put16(out, h.sequence);
    put16(out, static_cast<std::uint16_t>(size));
    out.insert(out.end(), message.body.begin(), message.body.end());
    return out;
}

std::optional<Header> decodeHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize) return std::nullopt;
    return Header{bytes[0], static_cast<MessageType>(bytes[1]), static_cast<MessageId>(bytes[2]),
                  bytes[3], uint16ToValue(&bytes[4]),           uint16ToValue(&bytes[6])};
}

std::optional<Message> decode(std::span<const std::uint8_t> bytes) {
    const std::optional<Header> header = decodeHeader(bytes);
    if (!header || header->byteCount < kHeaderSize || header->byteCount != bytes.size())
        return std::nullopt;
    const auto body = bytes.subspan(kHeaderSize);
    return Message{*header, {body.begin(), body.end()}};
}

Message request(MessageId id, std::uint16_t sequence, std::vector<std::uint8_t> body,
                std::uint8_t version) {
    Header h;
    h.version = version;
    h.type = MessageType::Request;
    h.id = id;
    h.sequence = sequence;
    h.byteCount = static_cast<std::uint16_t>(
        std::min(kHeaderSize + body.size(), kMaxMessageSize)); // encode() refuses longer ones
    return Message{h, std::move(body)};
}

std::vector<std::uint8_t> encodeSessionInitiate(const SessionInitiate& body) {
    std::vector<std::uint8_t> out;
    out.push_back(body.hostType);
    put32(out, body.inactivityCloseTime);
    return out;
}

std::optional<SessionInitiate> decodeSessionInitiate(std::span<const std::uint8_t> body) {
    if (body.size() < kSessionInitiateSize) return std::nullopt;
    return SessionInitiate{body[0], get32(body, 1)};
}

Message sessionInitiateRequest(std::uint16_t sequence, std::uint32_t inactivityCloseTime,
                               std::uint8_t version) {
    return request(MessageId::SessionInitiate, sequence,
                   encodeSessionInitiate({kPrimaryHost, inactivityCloseTime}), version);
}

std::span<const std::uint8_t> withoutPreambles(std::span<const std::uint8_t> frame) {
    const auto first =
        std::find_if(frame.begin(), frame.end(), [](std::uint8_t b) { return b != kPreamble; });
    return frame.subspan(static_cast<std::size_t>(first - frame.begin()));
}

Message pduRequest(std::uint16_t sequence, std::span<const std::uint8_t> frame,
                   std::uint8_t version) {
    const auto pdu = withoutPreambles(frame);
    return request(MessageId::HartPdu, sequence, {pdu.begin(), pdu.end()}, version);
}

StatusMeaning sessionInitiateStatus(std::uint8_t status) {
    const auto row = std::find_if(kSessionStatus.begin(), kSessionStatus.end(),
                                  [status](const StatusRow& r) { return r.code == status; });
    if (row != kSessionStatus.end()) return {row->severity, std::string(row->text)};
    return {Severity::Error, "status " + std::to_string(status)};
}

std::optional<std::size_t> hartFrameLength(std::span<const std::uint8_t> pdu) {
    if (pdu.empty()) return std::nullopt;
    const std::uint8_t delimiter = pdu[0];
    const std::uint8_t type = delimiter & kFrameTypeMask;
    if (type != kFrameTypeBurst && type != kFrameTypeRequest && type != kFrameTypeReply)
        return std::nullopt;
    const std::size_t address = (delimiter & kLongAddressBit) ? 5 : 1;
    const std::size_t expansion = (delimiter & kExpansionMask) >> 5;
    // Delimiter, address, expansion bytes, command: then the byte count.
    const std::size_t countAt = 1 + address + expansion + 1;
    if (pdu.size() <= countAt) return std::nullopt;
    return countAt + 1 + pdu[countAt] + 1; // count, data, checksum
}

std::optional<std::string> malformation(const Message& m,
                                        std::optional<std::uint8_t> sessionVersion) {
    if (m.header.version == 0 || (sessionVersion && m.header.version != *sessionVersion))
        return "version " + std::to_string(m.header.version) + " in a version " +
               std::to_string(sessionVersion.value_or(0)) + " session";
    if (m.header.id != MessageId::HartPdu || m.body.empty()) return std::nullopt;
    const auto frame = hartFrameLength(m.body);
    if (!frame) return "its HART PDU is cut before its byte count or has no frame type";
    if (*frame != m.body.size())
        return "its byte count " + std::to_string(m.body.size() + kHeaderSize) +
               " disagrees with the HART frame it carries (" + std::to_string(*frame) +
               " bytes and the 8-byte header)";
    return std::nullopt;
}

std::vector<std::uint8_t> encodeDirectPdu(std::span<const DirectCommand> commands) {
    std::vector<std::uint8_t> out{0, 0}; // no device status in a request
    for (const DirectCommand& c : commands) {
        if (c.data.size() > 0xFF) throw std::length_error("direct PDU command data over 255 bytes");
        put16(out, c.command);
        out.push_back(static_cast<std::uint8_t>(c.data.size()));
        out.insert(out.end(), c.data.begin(), c.data.end());
    }
    return out;
}

std::optional<std::vector<DirectCommand>>
decodeDirectPduRequest(std::span<const std::uint8_t> body) {
    if (body.size() < 2) return std::nullopt;
    std::vector<DirectCommand> commands;
    for (std::size_t at = 2; at < body.size();) {
        if (body.size() - at < 3) return std::nullopt;
        const std::size_t count = body[at + 2];
        if (body.size() - at - 3 < count) return std::nullopt;
        const auto data = body.subspan(at + 3, count);
        commands.push_back({get16(body, at), {data.begin(), data.end()}});
        at += 3 + count;
    }
    return commands;
}

std::vector<std::uint8_t> encodeDirectPduResponse(const DirectPduResponse& r) {
    std::vector<std::uint8_t> out{r.deviceStatus, r.extendedStatus};
    for (const DirectReply& reply : r.replies) {
        if (reply.data.size() > 0xFE)
            throw std::length_error("direct PDU reply data over 254 bytes");
        put16(out, reply.command);
        out.push_back(static_cast<std::uint8_t>(reply.data.size() + 1));
        out.push_back(reply.responseCode);
        out.insert(out.end(), reply.data.begin(), reply.data.end());
    }
    return out;
}

std::optional<DirectPduResponse> decodeDirectPduResponse(std::span<const std::uint8_t> body) {
    if (body.size() < 2) return std::nullopt;
    DirectPduResponse r{body[0], body[1], {}};
    for (std::size_t at = 2; at < body.size();) {
        if (body.size() - at < 3) return std::nullopt;
        const std::size_t count = body[at + 2];
        if (count < 1 || body.size() - at - 3 < count) return std::nullopt;
        const auto data = body.subspan(at + 4, count - 1);
        r.replies.push_back({get16(body, at), body[at + 3], {data.begin(), data.end()}});
        at += 3 + count;
    }
    return r;
}

namespace {

struct FlagName {
    std::uint16_t bit;
    std::string_view text;
};
constexpr std::array kSessionFlags{
    FlagName{kWritesOccurred, "writes made"},
    FlagName{kBadSessionInitiate, "bad session initiate"},
    FlagName{kSessionAborted, "aborted"},
    FlagName{kSessionTimedOut, "timed out"},
    FlagName{kInsecureSession, "insecure session"},
};

} // namespace

std::string sessionStatusText(std::uint16_t flags) {
    std::string text;
    auto add = [&text](std::string_view part) {
        if (!text.empty()) text += ", ";
        text += part;
    };
    for (std::uint16_t bit = 1; bit != 0; bit = static_cast<std::uint16_t>(bit << 1)) {
        if (!(flags & bit)) continue;
        const auto known = std::ranges::find(kSessionFlags, bit, &FlagName::bit);
        if (known != kSessionFlags.end()) {
            add(known->text);
        } else {
            static constexpr char kHex[] = "0123456789abcdef";
            std::string unknown = "bit 0x";
            for (int shift = 12; shift >= 0; shift -= 4)
                unknown += kHex[(bit >> shift) & 0xF];
            add(unknown);
        }
    }
    return text.empty() ? "none" : text;
}

std::vector<std::uint8_t> encodeAuditLogRequest(std::uint8_t firstRecord, std::uint8_t count) {
    return {firstRecord, count};
}

std::vector<std::uint8_t> encodeAuditLog(const AuditLog& log) {
    std::vector<std::uint8_t> out;
    out.push_back(log.firstRecord);
    out.push_back(static_cast<std::uint8_t>(log.records.size()));
    put64(out, log.powerUpTime);
    put64(out, log.lastSecurityChange);
    put16(out, log.serverStatus);
    put16(out, static_cast<std::uint16_t>(kAuditRecordSize));
    for (const AuditRecord& r : log.records) {
        out.insert(out.end(), r.clientIpv4.begin(), r.clientIpv4.end());
        out.insert(out.end(), r.clientIpv6.begin(), r.clientIpv6.end());
        put16(out, r.clientPort);
        put16(out, r.serverPort);
        put64(out, r.connectTime);
        put64(out, r.disconnectTime);
        put16(out, r.sessionStatus);
        put16(out, r.startConfigurationCounter);
        put16(out, r.endConfigurationCounter);
        put32(out, r.publishPdus);
        put32(out, r.requestPdus);
        put32(out, r.responsePdus);
    }
    return out;
}

std::optional<AuditLog> decodeAuditLog(std::span<const std::uint8_t> body) {
    if (body.size() < kAuditHeaderSize) return std::nullopt;
    AuditLog log;
    log.firstRecord = body[0];
    const std::size_t count = body[1];
    log.powerUpTime = get64(body, 2);
    log.lastSecurityChange = get64(body, 10);
    log.serverStatus = get16(body, 18);
    const std::size_t size = get16(body, 20);
    if (count > 0 && size < kAuditRecordSize) return std::nullopt;
    if ((body.size() - kAuditHeaderSize) < count * size) return std::nullopt;
    for (std::size_t i = 0; i < count; ++i) {
        const auto r = body.subspan(kAuditHeaderSize + i * size, kAuditRecordSize);
        AuditRecord a;
        std::copy_n(r.begin(), 4, a.clientIpv4.begin());
        std::copy_n(r.begin() + 4, 16, a.clientIpv6.begin());
        a.clientPort = get16(r, 20);
        a.serverPort = get16(r, 22);
        a.connectTime = get64(r, 24);
        a.disconnectTime = get64(r, 32);
        a.sessionStatus = get16(r, 40);
        a.startConfigurationCounter = get16(r, 42);
        a.endConfigurationCounter = get16(r, 44);
        a.publishPdus = get32(r, 46);
        a.requestPdus = get32(r, 50);
        a.responsePdus = get32(r, 54);
        log.records.push_back(a);
    }
    return log;
}

namespace {

// Whether the bytes where a message must start look like a header of this
// stream: its version (any but 0 without one), a known type, a count of at
// least the header. Judged on as many of the 8 bytes as are there.
bool plausibleHeader(std::span<const std::uint8_t> at, std::optional<std::uint8_t> version) {
    if (at.empty()) return true;
    if (at[0] == 0 || (version && at[0] != *version)) return false;
    if (at.size() >= 2) {
        const auto type = static_cast<MessageType>(at[1]);
        if (type != MessageType::Request && type != MessageType::Response &&
            type != MessageType::Publish && type != MessageType::Error && type != MessageType::Nak)
            return false;
    }
    return at.size() < kHeaderSize || get16(at, 6) >= kHeaderSize;
}

} // namespace

std::vector<StreamItem> StreamReassembler::feed(std::span<const std::uint8_t> bytes) {
    std::vector<StreamItem> items;
    if (broken()) return items;
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    std::size_t used = 0;
    for (;;) {
        if (skip_ > 0) {
            const std::size_t n = std::min(skip_, buffer_.size() - used);
            used += n;
            skip_ -= n;
            if (skip_ > 0) break;
        }
        const auto rest = std::span<const std::uint8_t>(buffer_).subspan(used);
        if (resynchronised_ && !plausibleHeader(rest, version_)) {
            brokenReason_ = "no HART-IP header where the next message must start";
            buffer_.clear();
            return items;
        }
        const std::optional<Header> header = decodeHeader(rest);
        if (!header) break;
        resynchronised_ = false;
        if (header->byteCount < kHeaderSize) {
            brokenReason_ = "a message with a byte count below 8";
            buffer_.clear();
            return items;
        }
        if (rest.size() < header->byteCount) break;
        const auto body = rest.subspan(kHeaderSize, header->byteCount - kHeaderSize);
        Message m{*header, {body.begin(), body.end()}};
        used += header->byteCount;
        std::optional<std::string> problem = malformation(m, version_);
        if (problem && header->id == MessageId::HartPdu && !body.empty()) {
            // The frame's own length says where the message really ends:
            // go on from there.
            if (const auto frame = hartFrameLength(body); frame && *frame != body.size()) {
                if (*frame < body.size())
                    used -= body.size() - *frame;
                else
                    skip_ = *frame - body.size();
                resynchronised_ = true;
            }
        }
        if (problem)
            items.push_back({std::nullopt, *problem});
        else
            items.push_back({std::move(m), {}});
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(used));
    return items;
}

} // namespace hart::ip
