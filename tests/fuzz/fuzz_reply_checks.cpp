// libFuzzer: locating a reply in the 320-byte work area and judging it, on any
// buffer and any received length. Input: [received length][buffer bytes...],
// the buffer zero-padded to 320 bytes.
//
// Oracles, for every scan preset:
//  - the anchor is the first position the scan rule names (0xFF, the
//    delimiter, and the preset's command and byte-count bytes);
//  - a reply that passes its checks lies wholly inside the bytes received,
//    counts both status bytes, and XORs to zero from the delimiter through
//    its checksum; every other verdict names what is actually wrong;
//  - bytes past the received length (older contents of the work area) never
//    decide whether a good reply is found, nor what a write reply says.

#include "hart/link_buffer.h"
#include "hart/protocol.h"
#include "hart/reply.h"
#include "tests/fuzz/check.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

using fuzz::check;

namespace {

constexpr std::array kScans{
    hart::kStandardScan,    hart::kShortStandardScan,      hart::kDiscoveryScan,
    hart::kFixedWindowScan, hart::kRosemount644SensorScan, hart::kKrohneReadScan,
    hart::kAbbReadScan};

// The highest anchor whose delimiter and header can stand in a reception of
// at most 255 bytes.
constexpr int kHighestAnchor = 251;

// The scan rule as written: the first K in the preset's range with 0xFF at K,
// the delimiter at K+1, and the preset's command (K+7) and byte count (K+8).
std::optional<int> firstAnchor(const hart::LinkBuffer& b, int L, const hart::Scan& scan) {
    const int last = std::min(scan.last ? *scan.last : L, kHighestAnchor);
    for (int k = std::max(scan.first, 0); k <= last; ++k) {
        const auto at = [&](int i) { return b[static_cast<std::size_t>(k + i)]; };
        if (at(0) != 0xFF || at(1) != scan.delimiter) continue;
        if (scan.command && at(7) != *scan.command) continue;
        if (scan.byteCount && at(8) != *scan.byteCount) continue;
        return k;
    }
    return std::nullopt;
}

// Offset of the byte count from the anchor: after the delimiter, the 5- or
// 1-byte address and the command.
int countOffset(std::uint8_t delimiter) {
    return (delimiter & hart::kLongAddressBit) ? 1 + 5 + 1 + 1 : 1 + 1 + 1 + 1;
}

hart::ReplyDefect expectedDefect(const hart::LinkBuffer& b, int K, std::uint8_t delimiter,
                                 int received) {
    const int countAt = K + countOffset(delimiter);
    if (countAt >= received) return hart::ReplyDefect::PastReceived;
    const int count = b[static_cast<std::size_t>(countAt)];
    if (count < 2) return hart::ReplyDefect::NoStatusBytes;
    const int last = countAt + count + 1; // the checksum byte
    if (last >= received) return hart::ReplyDefect::PastReceived;
    // With its checksum the frame XORs to zero.
    std::uint8_t x = 0;
    for (int i = K + 1; i <= last; ++i)
        x ^= b[static_cast<std::size_t>(i)];
    return x == 0 ? hart::ReplyDefect::None : hart::ReplyDefect::ChecksumWrong;
}

struct Found {
    std::optional<int> anchor; // set when a reply passing its checks was found
    bool operator==(const Found&) const = default;
};

Found judgeScan(const hart::LinkBuffer& b, int received, const hart::Scan& scan) {
    const int L = received - 4;
    const std::optional<int> k = hart::locate(b, L, scan);
    check(k == firstAnchor(b, L, scan), "locate gives the first anchor of the scan rule");
    if (!k) return {};
    const hart::ReplyDefect defect = hart::checkReply(b, *k, scan.delimiter, received);
    check(defect == expectedDefect(b, *k, scan.delimiter, received),
          "checkReply names what is wrong with the reply");
    check(hart::defectText(defect).empty() == (defect == hart::ReplyDefect::None),
          "every defect has a text, a good reply none");
    if (defect != hart::ReplyDefect::None) return {};
    const int count = b[static_cast<std::size_t>(*k + countOffset(scan.delimiter))];
    check(hart::dataBytesOf(b, *k, scan.delimiter) == count - 2,
          "data bytes are the byte count less the two status bytes");
    return {k};
}

std::string expectedWriteResult(const hart::LinkBuffer& b, int received, bool krohne) {
    const std::optional<int> k = firstAnchor(b, received - 4, hart::kStandardScan);
    if (!k) return "Write failed!";
    const hart::ReplyDefect defect = expectedDefect(b, *k, hart::kLongReply, received);
    if (defect != hart::ReplyDefect::None)
        return "Write failed! (" + std::string(hart::defectText(defect)) + ")";
    const std::uint8_t code = b[static_cast<std::size_t>(*k + 9)];
    const std::string message(hart::responseCodeMessage(code, krohne));
    check((message == "Write successful!") == (code == hart::rc::kSuccess),
          "only response code 0 reads as success");
    return message;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return -1;
    const int received = data[0];
    hart::LinkBuffer b{};
    std::copy_n(data + 1, std::min(size - 1, b.size()), b.begin());

    // The same reception over other older contents: every byte past it inverted,
    // and all zeros.
    hart::LinkBuffer inverted = b;
    hart::LinkBuffer zeroed = b;
    for (std::size_t i = static_cast<std::size_t>(received); i < b.size(); ++i) {
        inverted[i] = static_cast<std::uint8_t>(~b[i]);
        zeroed[i] = 0;
    }

    for (const hart::Scan& scan : kScans) {
        const Found found = judgeScan(b, received, scan);
        check(found == judgeScan(inverted, received, scan) &&
                  found == judgeScan(zeroed, received, scan),
              "bytes past the reception never decide whether a good reply is found");
    }
    for (const bool krohne : {false, true}) {
        const std::string result = hart::writeResult(b, received, krohne);
        check(result == expectedWriteResult(b, received, krohne),
              "the write result follows the first long reply and its checks");
        check(result == hart::writeResult(inverted, received, krohne) &&
                  result == hart::writeResult(zeroed, received, krohne),
              "bytes past the reception never change a write result");
    }
    return 0;
}
