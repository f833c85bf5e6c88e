#pragma once
// The two status bytes of the replies a device sends, as the window's status
// display shows them: which frame of a received chunk counts, its text, and
// how serious it is.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace hart {

struct ReplyStatus {
    std::uint8_t responseCode = 0; // first status byte
    std::uint8_t deviceStatus = 0; // field-device status
};

// The status bytes of the last whole, intact reply or burst frame in `bytes`
// (a received chunk); nothing when the chunk holds none. Requests (a modem
// that echoes what it sends), cut frames and frames with a wrong checksum do
// not count: their status bytes cannot be trusted.
std::optional<ReplyStatus> lastReplyStatus(std::span<const std::uint8_t> bytes);

// "OK"; the set field-device status bits' names from 0x80 down, joined by
// ", "; or, when the first status byte reports a communication error,
// "Communication error: " and the error bits (the device did not understand
// the request, so its second byte says nothing about the device).
std::string replyStatusText(const ReplyStatus& status);

enum class StatusSeverity {
    Ok,          // nothing set
    Attention,   // any other bit, or a communication error
    Malfunction, // "Device malfunction"
};
StatusSeverity severityOf(const ReplyStatus& status);

// The reply asks the master to read command 48.
bool moreStatusAvailable(const ReplyStatus& status);

} // namespace hart
