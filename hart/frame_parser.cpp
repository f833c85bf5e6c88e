#include "hart/frame_parser.h"

#include "hart/encodings.h"
#include "hart/protocol.h"

#include <algorithm>
#include <array>

namespace hart {

namespace {

constexpr std::size_t kShortAddressSize = 1;
constexpr std::size_t kLongAddressSize = 5;
constexpr int kExpansionShift = 5;
constexpr std::uint8_t kPhysicalLayerMask = 0x18;
constexpr int kPhysicalLayerShift = 3;

constexpr std::array kKnownTypes{FrameType::Burst, FrameType::Request, FrameType::Reply};

std::optional<FrameType> frameTypeOf(std::uint8_t delimiter) {
    const auto bits = static_cast<std::uint8_t>(delimiter & kFrameTypeMask);
    for (const FrameType type : kKnownTypes)
        if (static_cast<std::uint8_t>(type) == bits) return type;
    return std::nullopt;
}

FrameAddress decodeAddress(std::span<const std::uint8_t> a) {
    FrameAddress address;
    address.primaryMaster = (a[0] & kPrimaryMaster) != 0;
    address.burstMode = (a[0] & kBurstModeBit) != 0;
    const auto low = static_cast<std::uint8_t>(a[0] & kAddressMask);
    if (a.size() == kShortAddressSize) {
        address.pollingAddress = low;
        return address;
    }
    address.manufacturerId = low;
    address.deviceType = a[1];
    address.expandedDeviceType = static_cast<std::uint16_t>((low << 8) | a[1]);
    address.deviceId = uint24ToValue(&a[2]);
    return address;
}

// Reads one frame's fields from its delimiter on, as far as the input goes,
// keeping the running checksum. Every read goes through take(), which never
// passes the end of the input.
class FrameReader {
public:
    FrameReader(std::span<const std::uint8_t> bytes, std::size_t delimiterAt)
        : bytes_(bytes), pos_(delimiterAt) {}

    // Up to `count` bytes; fewer when the input ends first.
    std::span<const std::uint8_t> take(std::size_t count) {
        const std::size_t available = std::min(count, bytes_.size() - pos_);
        const auto taken = bytes_.subspan(pos_, available);
        for (const std::uint8_t byte : taken)
            sum_ ^= byte;
        pos_ += available;
        return taken;
    }
    std::optional<std::uint8_t> takeOne() {
        const auto one = take(1);
        if (one.empty()) return std::nullopt;
        return one[0];
    }
    // The checksum byte itself is not part of the sum.
    std::optional<std::uint8_t> takeChecksum() {
        if (pos_ == bytes_.size()) return std::nullopt;
        return bytes_[pos_++];
    }
    std::uint8_t sum() const { return sum_; }
    std::size_t position() const { return pos_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_;
    std::uint8_t sum_ = 0;
};

// Fills what the data bytes say beyond themselves: status bytes and the
// expanded command number.
void readDataMeaning(Frame& f) {
    const bool fromSlave = f.type != FrameType::Request;
    if (fromSlave && !f.data.empty()) f.responseCode = f.data[0];
    if (fromSlave && f.data.size() > 1) f.deviceStatus = f.data[1];
    const std::size_t expandedAt = fromSlave ? 2 : 0;
    if (f.command == kExpandedCommand && f.data.size() >= expandedAt + 2)
        f.expandedCommand = uint16ToValue(&f.data[expandedAt]);
}

// The frame whose first preamble is at `start` and delimiter at `at`.
// Returns the frame and the index one past its last byte.
std::pair<Frame, std::size_t> readFrame(std::span<const std::uint8_t> bytes, std::size_t start,
                                        std::size_t at, FrameType type) {
    Frame f;
    FrameReader r(bytes, at);
    f.preambles = at - start;
    f.delimiter = *r.takeOne();
    f.type = type;
    f.longAddress = (f.delimiter & kLongAddressBit) != 0;
    f.physicalLayer =
        static_cast<std::uint8_t>((f.delimiter & kPhysicalLayerMask) >> kPhysicalLayerShift);

    const auto finish = [&](bool cut) {
        f.truncated = cut;
        f.checksumComputed = r.sum();
        return std::pair{std::move(f), r.position()};
    };

    const std::size_t addressSize = f.longAddress ? kLongAddressSize : kShortAddressSize;
    const auto address = r.take(addressSize);
    f.addressBytes.assign(address.begin(), address.end());
    if (address.size() < addressSize) return finish(true);
    f.address = decodeAddress(address);

    const std::size_t expansionSize = (f.delimiter & kExpansionMask) >> kExpansionShift;
    const auto expansion = r.take(expansionSize);
    f.expansion.assign(expansion.begin(), expansion.end());
    if (expansion.size() < expansionSize) return finish(true);

    f.command = r.takeOne();
    if (!f.command) return finish(true);
    f.byteCount = r.takeOne();
    if (!f.byteCount) return finish(true);

    const auto data = r.take(*f.byteCount);
    f.data.assign(data.begin(), data.end());
    readDataMeaning(f);
    if (data.size() < *f.byteCount) return finish(true);

    f.checksumReceived = r.takeChecksum();
    return finish(!f.checksumReceived);
}

// Appends bytes [from, to) as unparsed, joining a directly preceding
// unparsed segment.
void addUnparsed(std::vector<FrameSegment>& segments, std::size_t from, std::size_t to) {
    if (from == to) return;
    if (!segments.empty() && !segments.back().frame &&
        segments.back().offset + segments.back().length == from) {
        segments.back().length += to - from;
        return;
    }
    segments.push_back({from, to - from, std::nullopt});
}

} // namespace

std::vector<FrameSegment> parseFrames(std::span<const std::uint8_t> bytes) {
    std::vector<FrameSegment> segments;
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] != kPreamble) {
            addUnparsed(segments, i, i + 1);
            ++i;
            continue;
        }
        // A delimiter can never be 0xFF (frame type 7 is unknown), so the
        // preamble run ends at the delimiter candidate.
        std::size_t at = i;
        while (at < bytes.size() && bytes[at] == kPreamble)
            ++at;
        const std::optional<FrameType> type =
            at < bytes.size() ? frameTypeOf(bytes[at]) : std::nullopt;
        if (!type) {
            addUnparsed(segments, i, at);
            i = at;
            continue;
        }
        auto [frame, end] = readFrame(bytes, i, at, *type);
        segments.push_back({i, end - i, std::move(frame)});
        i = end;
    }
    return segments;
}

} // namespace hart
