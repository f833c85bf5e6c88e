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

} // namespace sim
