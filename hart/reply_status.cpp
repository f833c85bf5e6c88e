#include "hart/reply_status.h"

#include "hart/frame_parser.h"
#include "hart/names.h"
#include "hart/protocol.h"

namespace hart {

namespace {

bool communicationError(const ReplyStatus& s) {
    return (s.responseCode & kCommunicationError) != 0;
}

} // namespace

std::optional<ReplyStatus> lastReplyStatus(std::span<const std::uint8_t> bytes) {
    std::optional<ReplyStatus> last;
    for (const FrameSegment& segment : parseFrames(bytes)) {
        if (!segment.frame) continue;
        const Frame& f = *segment.frame;
        if (f.type == FrameType::Request || !f.intact() || !f.responseCode || !f.deviceStatus)
            continue;
        last = ReplyStatus{*f.responseCode, *f.deviceStatus};
    }
    return last;
}

std::string replyStatusText(const ReplyStatus& status) {
    if (communicationError(status)) return statusSummary(status.responseCode);
    return deviceStatusText(status.deviceStatus);
}

StatusSeverity severityOf(const ReplyStatus& status) {
    if (communicationError(status)) return StatusSeverity::Attention;
    if (status.deviceStatus & kDeviceMalfunction) return StatusSeverity::Malfunction;
    return status.deviceStatus == 0 ? StatusSeverity::Ok : StatusSeverity::Attention;
}

bool moreStatusAvailable(const ReplyStatus& status) {
    return !communicationError(status) && (status.deviceStatus & kMoreStatusAvailable) != 0;
}

} // namespace hart
