#include "sim/sim_transmitter.h"

#include "hart/encodings.h"
#include "hart/frame.h"

#include <chrono>
#include <utility>

namespace sim {

namespace {

constexpr std::uint8_t kShortRequest = 0x02;
constexpr std::uint8_t kLongRequest = 0x82;
constexpr std::uint8_t kBurstFrame = 0x81;
constexpr std::uint8_t kNotImplemented = 64; // HART "command not implemented"
// Longer than a character time at 1200 baud, far shorter than a pause
// between two requests.
constexpr auto kFrameGap = std::chrono::milliseconds(100);

// Bytes from the delimiter through the checksum, once enough have arrived.
std::optional<std::size_t> frameLength(const std::vector<std::uint8_t>& f) {
    if (f.empty()) return std::nullopt;
    std::size_t addr = (f[0] & 0x80) ? 5 : 1;
    std::size_t head = 1 + addr + 2; // delimiter, address, command, byte count
    if (f.size() < head) return std::nullopt;
    return head + f[head - 1] + 1;
}

} // namespace

void putFloat(std::vector<std::uint8_t>& out, float v) {
    auto b = hart::wireFloatFromValue(v);
    out.insert(out.end(), b.begin(), b.end());
}

float getFloat(const std::vector<std::uint8_t>& data, std::size_t at) {
    if (data.size() < at + 4) return 0.0f;
    return hart::wireFloatToValue(data.data() + at);
}

SimTransmitter::SimTransmitter() : SimTransmitter(Options{}) {}

SimTransmitter::SimTransmitter(Options options) : options_(options) {
    registerDiscoveryCommands(*this);
    registerProcessCommands(*this);
    registerInfoCommands(*this);
    registerTemperatureCommands(*this);
    registerSiemensKrohneAbbCommands(*this);
    registerDpMvCommands(*this);
    peer_.start([this](std::span<const std::uint8_t> b) { onBytes(b); });
    burst_ = std::thread([this] { burstLoop(); });
}

SimTransmitter::~SimTransmitter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    burstWake_.notify_all();
    burst_.join();
    peer_.stop();
}

void SimTransmitter::addHandler(std::uint8_t command, SimHandler handler) {
    std::lock_guard lock(mutex_);
    handlers_[command].push_back(std::move(handler));
}

void SimTransmitter::setFaults(const SimFaults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

void SimTransmitter::setResponder(RawResponder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

std::vector<std::uint8_t> SimTransmitter::takeReceived() {
    std::lock_guard lock(mutex_);
    return std::exchange(received_, {});
}

std::vector<std::vector<std::uint8_t>> SimTransmitter::takeFrames() {
    std::lock_guard lock(mutex_);
    return std::exchange(frames_, {});
}

std::optional<std::vector<std::uint8_t>> SimTransmitter::waitFrame(int timeoutMs) {
    std::unique_lock lock(mutex_);
    if (!frameArrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return !frames_.empty(); }))
        return std::nullopt;
    auto f = frames_.front();
    frames_.erase(frames_.begin());
    return f;
}

void SimTransmitter::sendRaw(std::span<const std::uint8_t> bytes) {
    peer_.write(bytes, options_.pace ? kByteTime1200 : std::chrono::microseconds{0});
}

void SimTransmitter::onBytes(std::span<const std::uint8_t> bytes) {
    std::vector<std::vector<std::uint8_t>> complete;
    {
        std::lock_guard lock(mutex_);
        received_.insert(received_.end(), bytes.begin(), bytes.end());
        // A field device drops a half-received frame when the line goes
        // quiet in the middle of it (a cut or mistyped frame), so a short
        // frame never swallows the next request.
        auto now = std::chrono::steady_clock::now();
        if (!parse_.empty() && now - lastByte_ > kFrameGap) parse_.clear();
        lastByte_ = now;
        for (std::uint8_t b : bytes) {
            if (parse_.empty()) {
                if (b == kShortRequest || b == kLongRequest) parse_.push_back(b);
                continue; // preambles and line noise
            }
            parse_.push_back(b);
            if (auto len = frameLength(parse_); len && parse_.size() == *len) {
                frames_.push_back(parse_);
                complete.push_back(std::exchange(parse_, {}));
            }
        }
    }
    if (!complete.empty()) frameArrived_.notify_all();
    for (const auto& f : complete)
        handleFrame(f);
}

void SimTransmitter::handleFrame(const std::vector<std::uint8_t>& f) {
    if (hart::checksum(std::span(f.data(), f.size() - 1)) != f.back()) return;
    SimRequest req;
    req.longFrame = f[0] == kLongRequest;
    std::size_t addrLen = req.longFrame ? 5 : 1;
    req.master = f[1] & 0x80;
    req.command = f[1 + addrLen];
    req.data.assign(f.begin() + static_cast<long>(addrLen) + 3, f.end() - 1);

    std::vector<std::uint8_t> reply;
    SimFaults faults;
    std::unique_lock lock(mutex_);
    SimState& s = state_;
    faults = faults_;
    if (faults.silent) return;
    // A test's responder sees every frame, addressed to this device or not.
    if (responder_) {
        if (auto raw = responder_(s, req)) {
            lock.unlock();
            sendReply(*raw, faults);
            return;
        }
    }
    if (req.longFrame) {
        bool mine = (f[1] & 0x3F) == (s.manufacturer & 0x3F) && f[2] == s.deviceType &&
                    f[3] == s.deviceId[0] && f[4] == s.deviceId[1] && f[5] == s.deviceId[2];
        if (!mine) return;
    } else {
        req.address = f[1] & 0x3F;
        if (req.address != s.pollAddress) return;
    }
    {
        std::optional<SimReply> r;
        if (auto it = handlers_.find(req.command); it != handlers_.end())
            for (auto& h : it->second)
                if ((r = h(s, req))) break;
        if (!r) r = SimReply{kNotImplemented, 0, {}};
        if (faults.responseCode) r->responseCode = *faults.responseCode;
        reply = req.longFrame ? longReplyFrame(s, req.command, *r, 0x86, req.master)
                              : shortReplyFrame(s, req.command, *r, req.master);
    }
    lock.unlock();
    sendReply(reply, faults);
}

void SimTransmitter::sendReply(const std::vector<std::uint8_t>& bytes, const SimFaults& faults) {
    auto byteTime = options_.pace ? kByteTime1200 : std::chrono::microseconds{0};
    // A field device turns the line round before it answers.
    std::this_thread::sleep_for(std::chrono::milliseconds(options_.pace ? 20 : 2) +
                                std::chrono::milliseconds(faults.replyDelayMs));
    std::vector<std::uint8_t> out = faults.garbagePrefix;
    out.insert(out.end(), bytes.begin(), bytes.end());
    if (faults.splitAfter >= 0 && static_cast<std::size_t>(faults.splitAfter) < out.size()) {
        auto cut = static_cast<std::size_t>(faults.splitAfter);
        peer_.write(std::span(out.data(), cut), byteTime);
        std::this_thread::sleep_for(std::chrono::milliseconds(faults.splitPauseMs));
        peer_.write(std::span(out.data() + cut, out.size() - cut), byteTime);
    } else {
        peer_.write(out, byteTime);
    }
}

std::vector<std::uint8_t> SimTransmitter::longReplyFrame(const SimState& s, std::uint8_t command,
                                                         const SimReply& r, std::uint8_t delimiter,
                                                         std::uint8_t master) const {
    std::vector<std::uint8_t> f(s.preambles, 0xFF);
    std::size_t start = f.size();
    std::uint8_t a0 = static_cast<std::uint8_t>(master | (s.manufacturer & 0x3F));
    if (delimiter == kBurstFrame) a0 |= 0x40;
    f.insert(f.end(),
             {delimiter, a0, s.deviceType, s.deviceId[0], s.deviceId[1], s.deviceId[2], command,
              static_cast<std::uint8_t>(r.data.size() + 2), r.responseCode, r.deviceStatus});
    f.insert(f.end(), r.data.begin(), r.data.end());
    f.push_back(hart::checksum(std::span(f.data() + start, f.size() - start)));
    return f;
}

std::vector<std::uint8_t> SimTransmitter::shortReplyFrame(const SimState& s, std::uint8_t command,
                                                          const SimReply& r,
                                                          std::uint8_t master) const {
    std::vector<std::uint8_t> f(s.preambles, 0xFF);
    std::size_t start = f.size();
    f.insert(f.end(),
             {0x06, static_cast<std::uint8_t>(master | s.pollAddress), command,
              static_cast<std::uint8_t>(r.data.size() + 2), r.responseCode, r.deviceStatus});
    f.insert(f.end(), r.data.begin(), r.data.end());
    f.push_back(hart::checksum(std::span(f.data() + start, f.size() - start)));
    return f;
}

void SimTransmitter::burstLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        // A burst frame about twice a second, like a slow loop with other traffic.
        burstWake_.wait_for(lock, std::chrono::milliseconds(500));
        if (stopping_) return;
        if (!state_.burstMode) continue;
        SimRequest req;
        req.longFrame = true;
        req.command = state_.burstCommand;
        std::optional<SimReply> r;
        if (auto it = handlers_.find(req.command); it != handlers_.end())
            for (auto& h : it->second)
                if ((r = h(state_, req))) break;
        if (!r) continue;
        auto frame = longReplyFrame(state_, req.command, *r, kBurstFrame, 0x00);
        lock.unlock();
        peer_.write(frame, options_.pace ? kByteTime1200 : std::chrono::microseconds{0});
        lock.lock();
    }
}

} // namespace sim
