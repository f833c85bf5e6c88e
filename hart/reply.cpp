#include "hart/reply.h"

#include "hart/frame.h"

#include <algorithm>
#include <array>

namespace hart {

namespace {

// The receive handler never sees more than kReceiveMax bytes, so no scan limit
// can exceed this; clamping keeps every field a decoder reads (up to K+9 and the
// first data bytes) inside the LinkBuffer even if a caller passes a larger L.
constexpr int kLastAnchor = lb::kReceiveMax - 4;

constexpr int kCommandOffset = 7;
constexpr int kByteCountOffset = 8;
constexpr int kResponseCodeOffset = 9;

constexpr std::string_view kWriteFailed = "Write failed!";
constexpr std::string_view kChannelRestricted = "Write failed!The channel is restricted!";

struct ResponseRow {
    std::uint8_t code;
    std::string_view message;
};

// One string each, with no space after the first "!": users and their
// procedures know them so.
constexpr std::array kResponseMessages{
    ResponseRow{0, "Write successful!"},
    ResponseRow{1, "Write failed!Instruction not defined!"},
    ResponseRow{3, "Write failed!The parameter is too large!"},
    ResponseRow{4, "Write failed!The parameter is too small!"},
    ResponseRow{5, "Write failed!Too little data received!"},
    ResponseRow{6, "Write failed!Sending instruction error!"},
    ResponseRow{7, "Write failed!Write protected!"},
    ResponseRow{8, "Write failed!Invalid parameter settings!"},
    ResponseRow{9, "Write failed!Invalid parameter settings!"},
    ResponseRow{16, "Write failed!Invalid parameter settings!"},
};

// The KROHNE TT50C write adds this one row to the table above (its text really
// has no closing exclamation mark).
constexpr ResponseRow kKrohneExtra{12, "Write failed!Invalid parameter settings"};

bool matches(const LinkBuffer& b, int k, const Scan& scan) {
    const auto at = [&](int offset) { return b[static_cast<std::size_t>(k + offset)]; };
    return at(0) == kPreamble && at(1) == scan.delimiter &&
           (!scan.command || at(kCommandOffset) == *scan.command) &&
           (!scan.byteCount || at(kByteCountOffset) == *scan.byteCount);
}

} // namespace

std::optional<int> locate(const LinkBuffer& b, int L, const Scan& scan) {
    const int last = std::min(scan.last.value_or(L), kLastAnchor);
    for (int k = std::max(scan.first, 0); k <= last; ++k) {
        if (matches(b, k, scan)) return k;
    }
    return std::nullopt;
}

std::string_view responseCodeMessage(std::uint8_t code, bool krohne) {
    if (krohne && code == kKrohneExtra.code) return kKrohneExtra.message;
    const auto row = std::find_if(kResponseMessages.begin(), kResponseMessages.end(),
                                  [code](const ResponseRow& r) { return r.code == code; });
    return row != kResponseMessages.end() ? row->message : kChannelRestricted;
}

namespace {
// Offset of the byte count from K, and of the first status byte.
constexpr int byteCountOffset(std::uint8_t delimiter) {
    return (delimiter & kLongAddressBit) ? kByteCountOffset : 4;
}
} // namespace

int dataBytesOf(const LinkBuffer& b, int K, std::uint8_t delimiter) {
    return b[static_cast<std::size_t>(K + byteCountOffset(delimiter))] - 2;
}

ReplyDefect checkReply(const LinkBuffer& b, int K, std::uint8_t delimiter, int received) {
    const int countAt = K + byteCountOffset(delimiter);
    if (countAt >= received) return ReplyDefect::PastReceived;
    const int count = b[static_cast<std::size_t>(countAt)];
    if (count < 2) return ReplyDefect::NoStatusBytes;
    const int checksumAt = countAt + 1 + count;
    if (checksumAt >= received) return ReplyDefect::PastReceived;
    const auto summed = std::span(b).subspan(static_cast<std::size_t>(K + 1),
                                             static_cast<std::size_t>(checksumAt - K - 1));
    return checksum(summed) == b[static_cast<std::size_t>(checksumAt)] ? ReplyDefect::None
                                                                       : ReplyDefect::ChecksumWrong;
}

std::string_view defectText(ReplyDefect defect) {
    switch (defect) {
    case ReplyDefect::None:
        break;
    case ReplyDefect::NoStatusBytes:
        return "reply without status bytes";
    case ReplyDefect::PastReceived:
        return "reply byte count past the bytes received";
    case ReplyDefect::ChecksumWrong:
        return "reply checksum wrong";
    }
    return {};
}

std::string writeResult(const LinkBuffer& b, int received, bool krohne) {
    const std::optional<int> k = locate(b, received - 4);
    if (!k) return std::string(kWriteFailed);
    if (const auto defect = checkReply(b, *k, kLongReply, received); defect != ReplyDefect::None)
        return std::string(kWriteFailed) + " (" + std::string(defectText(defect)) + ")";
    return std::string(
        responseCodeMessage(b[static_cast<std::size_t>(*k + kResponseCodeOffset)], krohne));
}

} // namespace hart
