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

std::uint32_t get32(std::span<const std::uint8_t> b, std::size_t at) {
    return (std::uint32_t{uint16ToValue(&b[at])} << 16) | uint16ToValue(&b[at + 2]);
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
    StatusRow{14, Severity::Error, "version not supported"},
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
    return Header{bytes[0],
                  static_cast<MessageType>(bytes[1]),
                  static_cast<MessageId>(bytes[2]),
                  bytes[3],
                  uint16ToValue(&bytes[4]),
                  uint16ToValue(&bytes[6])};
}

std::optional<Message> decode(std::span<const std::uint8_t> bytes) {
    const std::optional<Header> header = decodeHeader(bytes);
    if (!header || header->byteCount < kHeaderSize || header->byteCount != bytes.size())
        return std::nullopt;
    const auto body = bytes.subspan(kHeaderSize);
    return Message{*header, {body.begin(), body.end()}};
}

Message request(MessageId id, std::uint16_t sequence, std::vector<std::uint8_t> body) {
    Header h;
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

Message sessionInitiateRequest(std::uint16_t sequence, std::uint32_t inactivityCloseTime) {
    return request(MessageId::SessionInitiate, sequence,
                   encodeSessionInitiate({kPrimaryHost, inactivityCloseTime}));
}

std::span<const std::uint8_t> withoutPreambles(std::span<const std::uint8_t> frame) {
    const auto first =
        std::find_if(frame.begin(), frame.end(), [](std::uint8_t b) { return b != kPreamble; });
    return frame.subspan(static_cast<std::size_t>(first - frame.begin()));
}

Message pduRequest(std::uint16_t sequence, std::span<const std::uint8_t> frame) {
    const auto pdu = withoutPreambles(frame);
    return request(MessageId::HartPdu, sequence, {pdu.begin(), pdu.end()});
}

StatusMeaning sessionInitiateStatus(std::uint8_t status) {
    const auto row = std::find_if(kSessionStatus.begin(), kSessionStatus.end(),
                                  [status](const StatusRow& r) { return r.code == status; });
    if (row != kSessionStatus.end()) return {row->severity, std::string(row->text)};
    return {Severity::Error, "status " + std::to_string(status)};
}

std::vector<Message> StreamReassembler::feed(std::span<const std::uint8_t> bytes) {
    std::vector<Message> complete;
    if (broken_) return complete;
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    std::size_t used = 0;
    for (;;) {
        const auto rest = std::span<const std::uint8_t>(buffer_).subspan(used);
        const std::optional<Header> header = decodeHeader(rest);
        if (!header) break;
        if (header->byteCount < kHeaderSize) {
            broken_ = true;
            buffer_.clear();
            return complete;
        }
        if (rest.size() < header->byteCount) break;
        const auto body = rest.subspan(kHeaderSize, header->byteCount - kHeaderSize);
        complete.push_back(Message{*header, {body.begin(), body.end()}});
        used += header->byteCount;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(used));
    return complete;
}

} // namespace hart::ip
