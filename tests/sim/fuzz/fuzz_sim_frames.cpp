// libFuzzer: the simulated devices' receive path on arbitrary lines. The
// input is cut into reads ([size][gap in ms][bytes], repeated); each read goes
// through the frame assembler at its time, every frame it gives must be a
// whole request by its own byte count, and every frame that parses is
// answered by the simulated transmitter and the HART 7 device, so their
// handlers meet any request data too. AddressSanitizer and UBSan judge the
// reads; the checks below judge the shapes.

#include "sim/frame_assembler.h"
#include "sim/sim_device.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

void check(bool holds) {
    if (!holds) std::abort();
}

// A reply frame as sent: preambles, a reply delimiter, and a byte count that
// matches the bytes that follow it.
void checkReply(const sim::Bytes& f) {
    std::size_t i = 0;
    while (i < f.size() && f[i] == 0xFF)
        ++i;
    check(i + 1 < f.size());
    const std::uint8_t delimiter = f[i];
    check(delimiter == 0x06 || delimiter == 0x86);
    const std::size_t countAt = i + 1 + ((delimiter & 0x80) ? 5 : 1) + 1;
    check(countAt < f.size());
    check(countAt + 1 + f[countAt] + 1 == f.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> in(data, size);
    sim::FrameAssembler assembler;
    auto transmitter = sim::makeTransmitter();
    auto hart7 = sim::makeHart7Device();
    sim::FrameAssembler::Clock::time_point t{};
    sim::Bytes previous;
    std::size_t at = 0;
    while (at + 2 <= in.size()) {
        const std::size_t n = std::min<std::size_t>(in[at], in.size() - at - 2);
        t += std::chrono::milliseconds(in[at + 1]);
        const auto chunk = in.subspan(at + 2, n);
        at += 2 + n;
        for (const sim::Bytes& frame : assembler.feed(chunk, t)) {
            check(frame[0] == 0x02 || frame[0] == 0x82);
            const auto length = sim::requestFrameLength(frame);
            check(length && *length == frame.size());
            const bool repeated = frame == previous;
            previous = frame;
            const auto req = sim::parseRequest(frame);
            if (!req) continue;
            for (auto* device : {transmitter.get(), hart7.get()})
                if (auto reply = device->answer(*req, repeated)) checkReply(*reply);
        }
    }
    return 0;
}
