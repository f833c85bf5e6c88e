#include "sim/reply_kit.h"

#include "hart/encodings.h"

namespace sim {

SimReply asSent(SimReply reply) {
    if (reply.data.size() > kMaxReplyData) {
        reply.responseCode = rc::kTooFewDataBytes;
        reply.data.clear();
    }
    if (isErrorResponse(reply.responseCode)) reply.data.clear();
    return reply;
}

Bytes& setting(SimState& s, int key, Bytes initial) {
    return s.vendor.try_emplace(key, std::move(initial)).first->second;
}

void putFloat(Bytes& out, float v) {
    const auto b = hart::wireFloatFromValue(v);
    out.insert(out.end(), b.begin(), b.end());
}

float getFloat(const Bytes& data, std::size_t at) {
    if (data.size() < at + 4) return 0.0f;
    return hart::wireFloatToValue(data.data() + at);
}

void putUint16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void putUint32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

std::uint16_t getUint16(const Bytes& data, std::size_t at) {
    if (data.size() < at + 2) return 0;
    return static_cast<std::uint16_t>(data[at] << 8 | data[at + 1]);
}

std::uint32_t getUint32(const Bytes& data, std::size_t at) {
    if (data.size() < at + 4) return 0;
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = v << 8 | data[at + i];
    return v;
}

} // namespace sim
