// Commands 6, 12, 13, 16, 17, 18, 19, 39 (device information) and 108, 109
// (burst mode), answered from the device's state: what is written is read back.
#include "sim/command_sets.h"
#include "sim/sim_device.h"

#include "hart/encodings.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int kMessageChars = 32;
constexpr int kTagChars = 8;
constexpr int kDescriptorChars = 16;
// A HART 5 device takes polling addresses 0-15 only.
constexpr std::uint8_t kHighestHart5PollAddress = 15;

// A write answered with its own data, as HART write commands do.
SimReply echo(const SimRequest& req) {
    return ok(req.data);
}

Bytes packed(const std::string& text, int chars) {
    // Texts in the state came from unpacking or are plain upper case, so they
    // always pack.
    return hart::packedAsciiFromText(text, chars);
}

std::string unpacked(const Bytes& data, std::size_t at, int chars) {
    return hart::packedAsciiToText(data.data() + at, chars);
}

void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// The owner's data as it left the factory.
void restoreFactoryData(SimState& s) {
    const SimState factory;
    s.message = factory.message;
    s.tag = factory.tag;
    s.descriptor = factory.descriptor;
    s.date = factory.date;
    s.finalAssembly = factory.finalAssembly;
}

} // namespace

std::optional<SimReply> readTagDescriptorDate(SimState& s, const SimRequest&) {
    Bytes data = packed(s.tag, kTagChars);
    append(data, packed(s.descriptor, kDescriptorChars));
    data.insert(data.end(), s.date.begin(), s.date.end());
    return ok(std::move(data));
}

std::optional<SimReply> readMessage(SimState& s, const SimRequest&) {
    return ok(packed(s.message, kMessageChars));
}

std::optional<SimReply> readFinalAssemblyNumber(SimState& s, const SimRequest&) {
    const std::uint32_t v = s.finalAssembly;
    return ok({static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
               static_cast<std::uint8_t>(v)});
}

std::optional<SimReply> writeMessage(SimState& s, const SimRequest& req) {
    if (req.data.size() < 24) return refuse(rc::kTooFewDataBytes);
    s.message = unpacked(req.data, 0, kMessageChars);
    return echo(req);
}

std::optional<SimReply> writeTagDescriptorDate(SimState& s, const SimRequest& req) {
    if (req.data.size() < 21) return refuse(rc::kTooFewDataBytes);
    s.tag = unpacked(req.data, 0, kTagChars);
    s.descriptor = unpacked(req.data, 6, kDescriptorChars);
    std::copy_n(req.data.begin() + 18, 3, s.date.begin());
    return echo(req);
}

std::optional<SimReply> writeFinalAssemblyNumber(SimState& s, const SimRequest& req) {
    if (req.data.size() < 3) return refuse(rc::kTooFewDataBytes);
    s.finalAssembly =
        (std::uint32_t{req.data[0]} << 16) | (std::uint32_t{req.data[1]} << 8) | req.data[2];
    return echo(req);
}

void registerInfoCommands(SimDevice& d) {
    // 6: write polling address. Short frames reach the device at the new address from now on.
    d.addHandler(6, [](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        if (req.data.empty()) return refuse(rc::kTooFewDataBytes);
        if (req.data[0] > kHighestHart5PollAddress) return refuse(rc::kInvalidSelection);
        s.pollAddress = req.data[0];
        return ok({s.pollAddress});
    });

    d.addHandler(12, readMessage);
    d.addHandler(13, readTagDescriptorDate);
    d.addHandler(16, readFinalAssemblyNumber);
    d.addHandler(17, writeMessage);             // 24 bytes
    d.addHandler(18, writeTagDescriptorDate);   // tag 6 bytes, descriptor 12, date 3
    d.addHandler(19, writeFinalAssemblyNumber); // 3 bytes

    // 39: non-volatile memory control. 0 keeps the working data (nothing to
    // do here, the state is the memory); 1 brings back the owner's data as
    // it left the factory.
    d.addHandler(39, [](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        if (req.data.empty()) return refuse(rc::kTooFewDataBytes);
        if (req.data[0] > 1) return refuse(rc::kInvalidSelection);
        if (req.data[0] == 1) restoreFactoryData(s);
        return echo(req);
    });

    // 108: which command burst mode repeats (1, 2 or 3).
    d.addHandler(108, [](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        if (req.data.empty()) return refuse(rc::kTooFewDataBytes);
        if (req.data[0] < 1 || req.data[0] > 3) return refuse(rc::kInvalidSelection);
        s.burstCommand = req.data[0];
        return echo(req);
    });

    // 109: burst mode off (0) or on (1). The burst loop sends on its own while it is on.
    d.addHandler(109, [](SimState& s, const SimRequest& req) -> std::optional<SimReply> {
        if (req.data.empty()) return refuse(rc::kTooFewDataBytes);
        if (req.data[0] > 1) return refuse(rc::kInvalidSelection);
        s.burstMode = req.data[0] == 1;
        return echo(req);
    });
}

} // namespace sim
