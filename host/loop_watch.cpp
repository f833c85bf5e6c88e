#include "host/loop_watch.h"

#include "hart/encodings.h"
#include "hart/frame_parser.h"
#include "hart/protocol.h"
#include "host/request_cycle.h"

#include <span>

namespace host {

namespace {

constexpr std::uint8_t kFixCurrent = 40; // Enter/Exit Fixed Current Mode

// The same request Button6 sends, with 0 mA.
constexpr RequestSpec kRelease{kFixedCurrentReply, longFrame(kFixCurrent)};

} // namespace

LoopWatch::LoopWatch(RequestCycle& cycle, QObject* parent) : QObject(parent), cycle_(cycle) {
    connect(&cycle, &RequestCycle::frameSent, this, &LoopWatch::onFrameSent);
    connect(&cycle, &RequestCycle::replyDecoded, this, &LoopWatch::onDecoded);
    connect(&cycle.device(), &Device::statusChanged, this, &LoopWatch::onStatus);
}

void LoopWatch::release() {
    cycle_.send(kRelease, nullptr, [](Payload& p) { p.bytes(hart::wireFloatFromValue(0.0f)); });
}

void LoopWatch::forget() {
    requested_.reset();
    set(false, std::nullopt);
}

void LoopWatch::onFrameSent(const QByteArray& frame) {
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(frame.constData()),
                                 static_cast<std::size_t>(frame.size()));
    for (const hart::FrameSegment& segment : hart::parseFrames(bytes)) {
        const auto& f = segment.frame;
        if (f && f->type == hart::FrameType::Request && f->command == kFixCurrent &&
            f->data.size() >= 4)
            requested_ = hart::wireFloatToValue(f->data.data());
    }
}

void LoopWatch::onDecoded(int replyCode) {
    if (replyCode != kFixedCurrentReply || !requested_) return;
    const float at = *std::exchange(requested_, std::nullopt);
    if (at == 0.0f)
        set(false, std::nullopt);
    else
        set(true, at);
}

void LoopWatch::onStatus() {
    const auto& status = cycle_.device().lastStatus();
    if (!status || (status->responseCode & hart::kCommunicationError)) return;
    const bool fixed = (status->deviceStatus & hart::kLoopCurrentFixed) != 0;
    if (fixed != fixed_) set(fixed, fixed ? fixedAt_ : std::nullopt);
}

void LoopWatch::set(bool fixed, std::optional<float> at) {
    if (fixed == fixed_ && at == fixedAt_) return;
    fixed_ = fixed;
    fixedAt_ = at;
    emit changed();
}

} // namespace host
