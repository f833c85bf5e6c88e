#include "sim/sim_line.h"

#include "hart/hartip.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace sim {

SimLine::SimLine(std::vector<std::unique_ptr<SimDevice>> devices, LineOptions options)
    : options_(options), devices_(std::move(devices)) {
    peer_.start([this](std::span<const std::uint8_t> b) { onBytes(b); });
    burst_ = std::thread([this] { burstLoop(); });
}

SimLine::~SimLine() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    burstWake_.notify_all();
    burst_.join();
    peer_.stop();
}

Bytes SimLine::takeReceived() {
    std::lock_guard lock(mutex_);
    return std::exchange(received_, {});
}

std::vector<Bytes> SimLine::takeFrames() {
    std::lock_guard lock(mutex_);
    return std::exchange(frames_, {});
}

std::optional<Bytes> SimLine::waitFrame(int timeoutMs) {
    std::unique_lock lock(mutex_);
    if (!frameArrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return !frames_.empty(); }))
        return std::nullopt;
    Bytes f = std::move(frames_.front());
    frames_.erase(frames_.begin());
    return f;
}

void SimLine::sendRaw(std::span<const std::uint8_t> bytes) {
    peer_.write(bytes, byteTime());
}

std::chrono::microseconds SimLine::byteTime() const {
    return options_.pace ? kByteTime1200 : std::chrono::microseconds{0};
}

SimDevice& SimLine::deviceAt(std::uint8_t pollAddress) {
    for (auto& d : devices_)
        if (d->state().pollAddress == pollAddress) return *d;
    throw std::out_of_range("no simulated device at polling address " +
                            std::to_string(pollAddress));
}

void SimLine::onBytes(std::span<const std::uint8_t> bytes) {
    std::vector<Bytes> complete;
    {
        std::lock_guard lock(mutex_);
        received_.insert(received_.end(), bytes.begin(), bytes.end());
        complete = assembler_.feed(bytes, FrameAssembler::Clock::now());
        frames_.insert(frames_.end(), complete.begin(), complete.end());
    }
    if (!complete.empty()) frameArrived_.notify_all();
    for (const auto& f : complete)
        handleFrame(f);
}

void SimLine::handleFrame(const Bytes& frame) {
    std::vector<Outgoing> out;
    {
        std::lock_guard lock(mutex_);
        out = answersTo(frame);
    }
    for (const auto& o : out)
        send(o.bytes, o.faults);
}

std::vector<SimLine::Outgoing> SimLine::answersTo(const Bytes& frame) {
    std::vector<Outgoing> out;
    const bool repeated = frame == lastFrame_;
    lastFrame_ = frame;
    const auto req = parseRequest(frame);
    if (!req) return out;
    for (auto& d : devices_)
        if (auto bytes = d->answer(*req, repeated)) out.push_back({std::move(*bytes), d->faults()});
    return out;
}

std::vector<Bytes> SimLine::answerPdu(std::span<const std::uint8_t> pdu) {
    const Bytes frame(pdu.begin(), pdu.end());
    std::vector<Outgoing> out;
    {
        std::lock_guard lock(mutex_);
        frames_.push_back(frame);
        out = answersTo(frame);
    }
    frameArrived_.notify_all();
    int delayMs = 0;
    std::vector<Bytes> replies;
    for (auto& o : out) {
        delayMs = std::max(delayMs, o.faults.replyDelayMs);
        const auto pdu = hart::ip::withoutPreambles(o.bytes);
        replies.emplace_back(pdu.begin(), pdu.end());
    }
    if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    return replies;
}

void SimLine::send(const Bytes& bytes, const SimFaults& faults) {
    // A field device turns the line round before it answers.
    std::this_thread::sleep_for(std::chrono::milliseconds(options_.pace ? 20 : 2) +
                                std::chrono::milliseconds(faults.replyDelayMs));
    Bytes out = faults.garbagePrefix;
    out.insert(out.end(), bytes.begin(), bytes.end());
    if (faults.splitAfter >= 0 && static_cast<std::size_t>(faults.splitAfter) < out.size()) {
        const auto cut = static_cast<std::size_t>(faults.splitAfter);
        peer_.write(std::span(out.data(), cut), byteTime());
        std::this_thread::sleep_for(std::chrono::milliseconds(faults.splitPauseMs));
        peer_.write(std::span(out.data() + cut, out.size() - cut), byteTime());
    } else {
        peer_.write(out, byteTime());
    }
}

void SimLine::burstLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        // A burst frame about twice a second, like a slow loop with other traffic.
        burstWake_.wait_for(lock, std::chrono::milliseconds(500));
        if (stopping_) return;
        std::vector<Bytes> frames;
        for (auto& d : devices_)
            if (auto f = d->burstFrame()) frames.push_back(std::move(*f));
        if (frames.empty()) continue;
        lock.unlock();
        for (const auto& f : frames)
            peer_.write(f, byteTime());
        lock.lock();
    }
}

} // namespace sim
