#include "sim/frame_assembler.h"

#include "hart/frame.h"

#include <algorithm>
#include <utility>

namespace sim {

namespace {

bool isRequestDelimiter(std::uint8_t b) {
    return b == hart::kShortRequest || b == hart::kLongRequest;
}

std::size_t addressLength(std::uint8_t delimiter) {
    return (delimiter & hart::kLongAddressBit) ? 5 : 1;
}

} // namespace

std::optional<std::size_t> requestFrameLength(std::span<const std::uint8_t> frame) {
    if (frame.empty()) return std::nullopt;
    const std::size_t head = 1 + addressLength(frame[0]) + 2; // delimiter, address, command, count
    if (frame.size() < head) return std::nullopt;
    return head + frame[head - 1] + 1;
}

std::vector<Bytes> FrameAssembler::feed(std::span<const std::uint8_t> bytes,
                                        Clock::time_point now) {
    std::vector<Bytes> complete;
    if (bytes.empty()) return complete;
    if (!partial_.empty() && now - lastByte_ > kQuietGap) partial_.clear();
    lastByte_ = now;
    for (std::uint8_t b : bytes) {
        if (partial_.empty()) {
            if (isRequestDelimiter(b)) partial_.push_back(b);
            continue; // preambles and line noise
        }
        partial_.push_back(b);
        if (auto length = requestFrameLength(partial_); length && partial_.size() == *length)
            complete.push_back(std::exchange(partial_, {}));
    }
    return complete;
}

std::optional<SimRequest> parseRequest(std::span<const std::uint8_t> f) {
    if (f.empty() || !isRequestDelimiter(f[0])) return std::nullopt;
    const auto length = requestFrameLength(f);
    if (!length || *length != f.size()) return std::nullopt;
    if (hart::checksum(f.first(f.size() - 1)) != f.back()) return std::nullopt;

    SimRequest req;
    req.longFrame = f[0] == hart::kLongRequest;
    const std::size_t addrLen = addressLength(f[0]);
    req.master = f[1] & hart::kPrimaryMaster;
    if (req.longFrame) {
        std::copy_n(f.begin() + 1, 5, req.longAddress.begin());
        req.longAddress[0] &= hart::kAddressMask;
    } else {
        req.address = f[1] & hart::kAddressMask;
    }
    req.command = f[1 + addrLen];
    req.data.assign(f.begin() + static_cast<std::ptrdiff_t>(addrLen + 3), f.end() - 1);
    return req;
}

} // namespace sim
